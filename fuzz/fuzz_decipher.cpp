// The credential cipher's decipher, on any text found in the settings store; and, as a property,
// that whatever it enciphers it deciphers back. The first byte picks the modes.
#include "fuzzsupport.h"
#include "settings/credentialcipher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    if (size == 0) {
        return 0;
    }
    const QByteArray input = fuzz::bytes(data + 1, size - 1);
    CredentialCipher cipher;
    cipher.setKey(Q_UINT64_C(0x5A17C0DE9E3779B9));
    cipher.setCompressionMode(static_cast<CredentialCipher::CompressionMode>(data[0] % 3));
    cipher.setIntegrityMode(static_cast<CredentialCipher::IntegrityMode>((data[0] / 3) % 3));
    cipher.decipherBytes(input);
    cipher.decipherText(QString::fromLatin1(input));
    // Credentials are short; compressing longer inputs at level 9 would only slow the search down.
    if (input.size() <= 4096) {
        const QByteArray enciphered = cipher.encipherBytes(input);
        fuzz::require(cipher.decipherBytes(enciphered) == input && cipher.lastStatus() == CredentialCipher::Ok);
    }
    return 0;
}
