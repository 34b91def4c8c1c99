#include "settings/credentialcipher.h"

#include <QFile>
#include <QtTest>

#include <memory>

using RandomByteTexts = QMap<int, QByteArray>;

namespace {

// Collects every message while alive, so a test can tell "silent" from "warned".
class MessageCatcher
{
public:
    MessageCatcher()
    {
        current = this;
        previous = qInstallMessageHandler(&MessageCatcher::handle);
    }
    ~MessageCatcher()
    {
        qInstallMessageHandler(previous);
        current = nullptr;
    }
    QStringList messages;

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text)
    {
        current->messages << text;
    }
    static MessageCatcher* current;
    QtMessageHandler previous = nullptr;
};

MessageCatcher* MessageCatcher::current = nullptr;

QByteArray fromField(const QByteArray& field)
{
    return field == "-" ? QByteArray() : field;
}

struct EncipherVector
{
    int compression = 0;
    int integrity = 0;
    int randomByte = 0;
    QByteArray plain;
    QByteArray cipherText;
};

// Vectors written by tests/data/settings/make_cipher_vectors.py from the format alone.
struct Vectors
{
    quint64 key = 0;
    QList<EncipherVector> enciphered;
    QList<QList<QByteArray>> rows; // every other line, split into fields
};

const Vectors& vectors()
{
    static const Vectors loaded = [] {
        Vectors v;
        QFile file(QStringLiteral(VPN_TEST_DATA_DIR "/settings/cipher_vectors.txt"));
        if (!file.open(QIODevice::ReadOnly)) {
            qFatal("cipher vectors missing");
        }
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
            if (fields.first() == "key") {
                v.key = fields.at(1).toULongLong(nullptr, 16);
            } else if (fields.first() == "enc") {
                v.enciphered.append({ fields.at(1).toInt(), fields.at(2).toInt(), fields.at(3).toInt(),
                    QByteArray::fromBase64(fromField(fields.at(4))), fromField(fields.at(5)) });
            } else {
                v.rows.append(fields);
            }
        }
        return v;
    }();
    return loaded;
}

std::unique_ptr<CredentialCipher> keyedCipher()
{
    auto cipher = std::make_unique<CredentialCipher>();
    cipher->setKey(vectors().key);
    return cipher;
}

// The random byte a cipher text was made with: the first scrambled byte XOR key byte 0.
int randomByteOf(const QByteArray& cipherBytes)
{
    return (static_cast<quint8>(cipherBytes.at(2)) ^ static_cast<quint8>(vectors().key & 0xFF));
}

} // namespace

class TestCredentialCipher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void encipherMatchesVectors_data();
    void encipherMatchesVectors();
    void decipherVectors_data();
    void decipherVectors();
    void rejectsBadCipherTexts_data();
    void rejectsBadCipherTexts();
    void flippedByteFailsTheCheck_data();
    void flippedByteFailsTheCheck();
    void roundTrip_data();
    void roundTrip();
    void sameTextEnciphersDifferently();
    void shortCredentialIsNotCompressed();
    void otherKeyDoesNotDecipher();
    void missingKey();
    void primitivesMatchTheFormat_data();
    void primitivesMatchTheFormat();
};

void TestCredentialCipher::initTestCase()
{
    QVERIFY(vectors().key != 0);
    QVERIFY(vectors().enciphered.size() > 100);
}

void TestCredentialCipher::encipherMatchesVectors_data()
{
    QTest::addColumn<int>("compression");
    QTest::addColumn<int>("integrity");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<RandomByteTexts>("expected");

    QMap<QString, QMap<int, QByteArray>> groups;
    QMap<QString, EncipherVector> firsts;
    for (const EncipherVector& v : vectors().enciphered) {
        const QString name = QStringLiteral("compression %1, integrity %2, %3 plain bytes")
                                 .arg(v.compression)
                                 .arg(v.integrity)
                                 .arg(v.plain.size());
        groups[name].insert(v.randomByte, v.cipherText);
        firsts.insert(name, v);
    }
    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        const EncipherVector& v = firsts.value(it.key());
        QTest::newRow(qPrintable(it.key())) << v.compression << v.integrity << v.plain << it.value();
    }
}

// The random byte cannot be chosen, so encipher until one listed in the vectors comes up; the
// output must then match it byte for byte.
void TestCredentialCipher::encipherMatchesVectors()
{
    QFETCH(int, compression);
    QFETCH(int, integrity);
    QFETCH(QByteArray, plain);
    QFETCH(RandomByteTexts, expected);

    auto cipher = keyedCipher();
    cipher->setCompressionMode(static_cast<CredentialCipher::CompressionMode>(compression));
    cipher->setIntegrityMode(static_cast<CredentialCipher::IntegrityMode>(integrity));
    const QString text = QString::fromUtf8(plain);
    int matched = 0;
    for (int attempt = 0; attempt < 2000 && matched < 2; ++attempt) {
        const QString cipherText = cipher->encipherText(text);
        QCOMPARE(cipher->lastStatus(), CredentialCipher::Ok);
        const int randomByte = randomByteOf(QByteArray::fromBase64(cipherText.toLatin1()));
        if (expected.contains(randomByte)) {
            QCOMPARE(cipherText.toLatin1(), expected.value(randomByte));
            ++matched;
        }
    }
    QCOMPARE(matched, 2);

    // Deciphering reads every listed text, whatever modes the deciphering side is set to.
    auto reader = keyedCipher();
    reader->setCompressionMode(CredentialCipher::Never);
    reader->setIntegrityMode(CredentialCipher::None);
    for (const QByteArray& cipherText : expected) {
        QCOMPARE(reader->decipherText(QString::fromLatin1(cipherText)), text);
        QCOMPARE(reader->lastStatus(), CredentialCipher::Ok);
    }
}

void TestCredentialCipher::decipherVectors_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipherText");
    for (const QList<QByteArray>& row : vectors().rows) {
        if (row.first() == "dec") {
            QTest::newRow(row.at(2).constData()) << QByteArray::fromBase64(fromField(row.at(1))) << row.at(2);
        }
    }
}

void TestCredentialCipher::decipherVectors()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipherText);
    auto cipher = keyedCipher();
    QByteArray result;
    {
        // The undecodable zlib stream draws Qt's own complaint; the cipher adds none of its own.
        MessageCatcher catcher;
        result = cipher->decipherText(QString::fromLatin1(cipherText)).toUtf8();
        for (const QString& message : catcher.messages) {
            QVERIFY2(message.startsWith(QLatin1String("qUncompress")), qPrintable(message));
        }
    }
    QCOMPARE(result, plain);
    QCOMPARE(cipher->lastStatus(), CredentialCipher::Ok);
}

void TestCredentialCipher::rejectsBadCipherTexts_data()
{
    QTest::addColumn<QString>("cipherText");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("warning");

    const QString versionWarning = QStringLiteral("CredentialCipher: Invalid version or not a cyphertext.");
    for (const QList<QByteArray>& row : vectors().rows) {
        if (row.first() == "bad") {
            const int status = row.at(1).toInt();
            QTest::newRow(row.at(2).constData()) << QString::fromLatin1(
                row.at(2)) << status << (status == CredentialCipher::BadVersion ? versionWarning : QString());
        }
    }
    // Too short after decoding: silent, and the previous status stays.
    QTest::newRow("empty") << QString() << int(CredentialCipher::Ok) << QString();
    QTest::newRow("not Base64 at all") << QStringLiteral("!!!***") << int(CredentialCipher::Ok) << QString();
    QTest::newRow("two bytes") << QStringLiteral("AwI=") << int(CredentialCipher::Ok) << QString();
    QTest::newRow("non-Latin-1 text") << QStringLiteral("пароль") << int(CredentialCipher::Ok) << QString();
    QTest::newRow("version only, long") << QString::fromLatin1(QByteArray("\x04\x02\x10\x20\x30", 5).toBase64())
                                        << int(CredentialCipher::BadVersion) << versionWarning;
}

void TestCredentialCipher::rejectsBadCipherTexts()
{
    QFETCH(QString, cipherText);
    QFETCH(int, status);
    QFETCH(QString, warning);

    auto cipher = keyedCipher();
    QString result = QStringLiteral("unset");
    QStringList messages;
    {
        MessageCatcher catcher;
        result = cipher->decipherText(cipherText);
        messages = catcher.messages;
    }
    QVERIFY(result.isEmpty());
    QCOMPARE(int(cipher->lastStatus()), status);
    QCOMPARE(messages, warning.isEmpty() ? QStringList() : QStringList { warning });
}

void TestCredentialCipher::flippedByteFailsTheCheck_data()
{
    QTest::addColumn<QByteArray>("cipherBytes");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("mask");

    // One short and one compressed text of the client's own modes.
    for (const EncipherVector& v : vectors().enciphered) {
        if (v.compression != CredentialCipher::Automatic || v.integrity != CredentialCipher::Checksum
            || v.randomByte != 0x30 || (v.plain != "password" && v.plain.size() < 80)) {
            continue;
        }
        const QByteArray bytes = QByteArray::fromBase64(v.cipherText);
        for (int offset = 2; offset < bytes.size(); ++offset) {
            for (int mask : { 0x01, 0x80, 0xFF }) {
                QTest::addRow("%d bytes, offset %d, xor %02x", int(bytes.size()), offset, mask)
                    << bytes << offset << mask;
            }
        }
    }
}

void TestCredentialCipher::flippedByteFailsTheCheck()
{
    QFETCH(QByteArray, cipherBytes);
    QFETCH(int, offset);
    QFETCH(int, mask);

    auto cipher = keyedCipher();
    QVERIFY(!cipher->decipherBytes(cipherBytes).isEmpty());
    cipherBytes[offset] = static_cast<char>(cipherBytes.at(offset) ^ mask);
    MessageCatcher catcher;
    QVERIFY(cipher->decipherBytes(cipherBytes).isEmpty());
    QCOMPARE(cipher->lastStatus(), CredentialCipher::IntegrityMismatch);
    QVERIFY(catcher.messages.isEmpty());
}

void TestCredentialCipher::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("ascii") << QStringLiteral("s3cr3t p@ss");
    QTest::newRow("cyrillic") << QStringLiteral("пароль Пользователя");
    QTest::newRow("astral") << QString::fromUtf8("\xF0\x9F\x94\x91 key \xE2\x9C\x93");
    QTest::newRow("long, compressible") << QStringLiteral("abc").repeated(500);
    QTest::newRow("quotes and separators") << QStringLiteral("a=b;c,\"d\"\\e\n%f");
}

void TestCredentialCipher::roundTrip()
{
    QFETCH(QString, text);
    CredentialCipher writer;
    writer.setKey(0x0123456789ABCDEFULL);
    CredentialCipher reader;
    reader.setKey(0x0123456789ABCDEFULL);
    const QString cipherText = writer.encipherText(text);
    QVERIFY(!cipherText.isEmpty());
    QVERIFY(!cipherText.contains(text) || text.isEmpty());
    QCOMPARE(reader.decipherText(cipherText), text);
    QCOMPARE(reader.lastStatus(), CredentialCipher::Ok);
}

void TestCredentialCipher::sameTextEnciphersDifferently()
{
    auto cipher = keyedCipher();
    QSet<QString> texts;
    for (int i = 0; i < 20; ++i) {
        const QString cipherText = cipher->encipherText(QStringLiteral("password"));
        QCOMPARE(cipher->decipherText(cipherText), QStringLiteral("password"));
        texts.insert(cipherText);
    }
    // 20 random bytes all equal would be a 1 in 256^19 event.
    QVERIFY(texts.size() > 1);
}

void TestCredentialCipher::shortCredentialIsNotCompressed()
{
    auto cipher = keyedCipher();
    for (const QString& text :
        { QString(), QStringLiteral("u"), QStringLiteral("password"), QStringLiteral("пароль") }) {
        const QByteArray bytes = cipher->encipherBytes(text.toUtf8());
        QCOMPARE(bytes.size(), text.toUtf8().size() + 5);
        QCOMPARE(bytes.at(0), '\x03');
        QCOMPARE(bytes.at(1), '\x02');
    }
    // A long repetitive text does get compressed.
    QCOMPARE(cipher->encipherBytes(QByteArray(300, 'x')).at(1), '\x03');
}

void TestCredentialCipher::otherKeyDoesNotDecipher()
{
    const EncipherVector& v = vectors().enciphered.at(40);
    QVERIFY(!v.plain.isEmpty());
    CredentialCipher cipher;
    cipher.setKey(vectors().key ^ 0x0100000000000000ULL);
    QVERIFY(cipher.decipherText(QString::fromLatin1(v.cipherText)).isEmpty());
    QCOMPARE(cipher.lastStatus(), CredentialCipher::IntegrityMismatch);
}

void TestCredentialCipher::missingKey()
{
    CredentialCipher cipher;
    QCOMPARE(cipher.key(), quint64(0));
    QTest::ignoreMessage(QtWarningMsg, "CredentialCipher: No key set.");
    QVERIFY(cipher.encipherText(QStringLiteral("password")).isEmpty());
    QCOMPARE(cipher.lastStatus(), CredentialCipher::KeyMissing);

    QTest::ignoreMessage(QtWarningMsg, "CredentialCipher: No key set.");
    QVERIFY(cipher.decipherText(QString::fromLatin1(vectors().enciphered.first().cipherText)).isEmpty());
    QCOMPARE(cipher.lastStatus(), CredentialCipher::KeyMissing);

    // A key of zero is a key like any other.
    cipher.setKey(0);
    QCOMPARE(cipher.decipherText(cipher.encipherText(QStringLiteral("zero"))), QStringLiteral("zero"));
}

void TestCredentialCipher::primitivesMatchTheFormat_data()
{
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("expected");
    for (const QList<QByteArray>& row : vectors().rows) {
        if (row.first() == "crc" || row.first() == "sha1" || row.first() == "zip") {
            const QByteArray data = QByteArray::fromBase64(fromField(row.at(1)));
            QTest::addRow("%s of %d bytes", row.first().constData(), int(data.size()))
                << row.first() << data << row.at(2);
        }
    }
}

// The cipher relies on these Qt primitives producing exactly the catalogued formats.
void TestCredentialCipher::primitivesMatchTheFormat()
{
    QFETCH(QByteArray, kind);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, expected);
    if (kind == "crc") {
        const quint16 crc = qChecksum(data.constData(), static_cast<uint>(data.size()), Qt::ChecksumIso3309);
        QCOMPARE(QByteArray::number(crc, 16).rightJustified(4, '0').toUpper(), expected);
    } else if (kind == "sha1") {
        QCOMPARE(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex(), expected);
    } else {
        const QByteArray compressed = QByteArray::fromBase64(fromField(expected));
        QCOMPARE(qCompress(data, 9), compressed);
        QCOMPARE(qUncompress(compressed), data);
    }
}

QTEST_GUILESS_MAIN(TestCredentialCipher)
#include "tst_credentialcipher.moc"
