#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Keeps the stored credentials out of the settings store in clear. The cipher text layout is a
// contract between builds: stores written by one build are read by every other with the same key.
//
//   0x03 | flags | scramble(random byte | integrity field | payload)
//
// flags: 0x01 payload is qCompress'ed (level 9), 0x02 CRC-16/X-25 big-endian follows,
// 0x04 SHA-1 digest follows. The text form is Base64.
class CredentialCipher
{
public:
    enum CompressionMode : qint32
    {
        Automatic = 0,
        Always = 1,
        Never = 2
    };

    enum IntegrityMode : qint32
    {
        None = 0,
        Checksum = 1,
        Hash = 2
    };

    enum CipherStatus : qint32
    {
        Ok = 0,
        KeyMissing = 1,
        BadVersion = 2,
        IntegrityMismatch = 3
    };

    CredentialCipher();

    void setKey(quint64 key);
    quint64 key() const;

    void setCompressionMode(CompressionMode mode);
    CompressionMode compressionMode() const;
    void setIntegrityMode(IntegrityMode mode);
    IntegrityMode integrityMode() const;

    QByteArray encipherBytes(const QByteArray& plain);
    QByteArray decipherBytes(const QByteArray& cipher);
    QString encipherText(const QString& text);
    QString decipherText(const QString& text);

    CipherStatus lastStatus() const;

    // Stored credentials are short. A longer cipher text, or a compressed payload that announces
    // more, is taken for corrupt rather than unpacked: a few bytes could otherwise claim gigabytes.
    static constexpr int maxCipherSize = 64 * 1024;
    static constexpr int maxPlainSize = 64 * 1024;

private:
    quint64 keyValue = 0;
    QByteArray keyBytes;
    // Any other value behaves as Never; the fixed underlying type keeps such values well-defined.
    CompressionMode compression = Automatic;
    IntegrityMode integrity = Checksum;
    CipherStatus status = Ok;
};
