// The service's check of an OpenVPN configuration the client names, and of its management secret.
#include "configurationcheck.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text = fuzz::bytes(data, size);
    const QString passwordCopy = QStringLiteral("/run/vpn-service-x/management.pw");
    QByteArray copy;
    QString passwordFile;
    QString error;
    if (ConfigurationCheck::check(text, passwordCopy, &copy, &passwordFile, &error)) {
        // OpenVPN reads the copy: it must pass the same check, unchanged, naming the private secret.
        QByteArray again;
        QString copyPasswordFile;
        fuzz::require(ConfigurationCheck::check(copy, passwordCopy, &again, &copyPasswordFile, &error));
        fuzz::require(again == copy && copyPasswordFile == passwordCopy && !passwordFile.isEmpty());
    } else {
        fuzz::require(!error.isEmpty());
    }
    QByteArray secret;
    if (ConfigurationCheck::checkSecret(text, &secret, &error)) {
        fuzz::require(secret.size() >= ConfigurationCheck::minSecretLength && !secret.contains('\n'));
    }
    return 0;
}
