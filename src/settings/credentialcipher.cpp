#include "credentialcipher.h"

#include "foundation/logtag.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace {

const char version = 0x03;
const char flagCompressed = 0x01;
const char flagChecksum = 0x02;
const char flagHash = 0x04;
const int checksumSize = 2;
const int hashSize = 20;

// The cipher is a plain value, not a QObject; its lines carry the class name all the same.
QString logTag()
{
    return QStringLiteral("CredentialCipher");
}

quint16 checksum(const QByteArray& data)
{
    return qChecksum(data.constData(), static_cast<uint>(data.size()), Qt::ChecksumIso3309);
}

} // namespace

CredentialCipher::CredentialCipher() = default;

void CredentialCipher::setKey(quint64 key)
{
    keyValue = key;
    keyBytes.resize(8);
    for (int i = 0; i < 8; ++i) {
        keyBytes[i] = static_cast<char>((key >> (8 * i)) & 0xFF);
    }
}

quint64 CredentialCipher::key() const
{
    return keyValue;
}

void CredentialCipher::setCompressionMode(CompressionMode mode)
{
    compression = mode;
}

CredentialCipher::CompressionMode CredentialCipher::compressionMode() const
{
    return compression;
}

void CredentialCipher::setIntegrityMode(IntegrityMode mode)
{
    integrity = mode;
}

CredentialCipher::IntegrityMode CredentialCipher::integrityMode() const
{
    return integrity;
}

CredentialCipher::CipherStatus CredentialCipher::lastStatus() const
{
    return status;
}

QByteArray CredentialCipher::encipherBytes(const QByteArray& plain)
{
    if (keyBytes.isEmpty()) {
        tagged(qWarning(), logTag()) << "No key set.";
        status = KeyMissing;
        return QByteArray();
    }

    QByteArray payload = plain;
    char flags = 0;
    if (compression == Always) {
        payload = qCompress(payload, 9);
        flags |= flagCompressed;
    } else if (compression == Automatic) {
        const QByteArray compressed = qCompress(payload, 9);
        if (compressed.size() < payload.size()) {
            payload = compressed;
            flags |= flagCompressed;
        }
    }

    QByteArray integrityField;
    if (integrity == Checksum) {
        flags |= flagChecksum;
        const quint16 crc = checksum(payload);
        integrityField.append(static_cast<char>(crc >> 8));
        integrityField.append(static_cast<char>(crc & 0xFF));
    } else if (integrity == Hash) {
        flags |= flagHash;
        integrityField = QCryptographicHash::hash(payload, QCryptographicHash::Sha1);
    }

    // Salt only: it makes two cipher texts of one value differ through the whole chained block.
    // Any source of a random byte keeps the format; qrand() is deprecated, hence the generator.
    const char randomByte = static_cast<char>(QRandomGenerator::global()->generate() & 0xFF);
    QByteArray block;
    block.reserve(1 + integrityField.size() + payload.size());
    block.append(randomByte);
    block.append(integrityField);
    block.append(payload);

    char previous = 0;
    for (int i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(block.at(i) ^ keyBytes.at(i % 8) ^ previous);
        previous = block.at(i);
    }

    QByteArray result;
    result.reserve(2 + block.size());
    result.append(version);
    result.append(flags);
    result.append(block);
    status = Ok;
    return result;
}

QByteArray CredentialCipher::decipherBytes(const QByteArray& cipher)
{
    if (keyBytes.isEmpty()) {
        tagged(qWarning(), logTag()) << "No key set.";
        status = KeyMissing;
        return QByteArray();
    }
    if (cipher.size() < 3) {
        return QByteArray();
    }
    if (cipher.size() > maxCipherSize) {
        status = IntegrityMismatch;
        tagged(qWarning(), logTag()) << "Cipher text longer than " << maxCipherSize << " bytes.";
        return QByteArray();
    }
    if (cipher.at(0) != version) {
        status = BadVersion;
        tagged(qWarning(), logTag()) << "Invalid version or not a cyphertext.";
        return QByteArray();
    }

    const char flags = cipher.at(1);
    QByteArray block = cipher.mid(2);
    char previous = 0;
    for (int i = 0; i < block.size(); ++i) {
        const char scrambled = block.at(i);
        block[i] = static_cast<char>(scrambled ^ keyBytes.at(i % 8) ^ previous);
        previous = scrambled;
    }
    block.remove(0, 1);

    bool intact = true;
    if (flags & flagChecksum) {
        if (block.size() < checksumSize) {
            status = IntegrityMismatch;
            return QByteArray();
        }
        const quint16 stored
            = static_cast<quint16>((static_cast<quint8>(block.at(0)) << 8) | static_cast<quint8>(block.at(1)));
        block.remove(0, checksumSize);
        intact = stored == checksum(block);
    } else if (flags & flagHash) {
        if (block.size() < hashSize) {
            status = IntegrityMismatch;
            return QByteArray();
        }
        const QByteArray stored = block.left(hashSize);
        block.remove(0, hashSize);
        intact = stored == QCryptographicHash::hash(block, QCryptographicHash::Sha1);
    }
    if (!intact) {
        status = IntegrityMismatch;
        return QByteArray();
    }

    if (flags & flagCompressed) {
        // qCompress puts the plain size in front, big-endian.
        const quint32 announced = block.size() < 4
            ? 0
            : (quint32(quint8(block.at(0))) << 24) | (quint32(quint8(block.at(1))) << 16)
                | (quint32(quint8(block.at(2))) << 8) | quint32(quint8(block.at(3)));
        if (announced > quint32(maxPlainSize)) {
            status = IntegrityMismatch;
            tagged(qWarning(), logTag()) << "Compressed payload announces " << announced << " bytes.";
            return QByteArray();
        }
        block = qUncompress(block);
    }
    status = Ok;
    return block;
}

QString CredentialCipher::encipherText(const QString& text)
{
    return QString::fromLatin1(encipherBytes(text.toUtf8()).toBase64());
}

QString CredentialCipher::decipherText(const QString& text)
{
    return QString::fromUtf8(decipherBytes(QByteArray::fromBase64(text.toLatin1())));
}
