#include "settings/credentialcipher.h"

#include <QFile>
#include <QtTest>

using RandomByteTexts = QMap<int, QByteArray>;

namespace {

QStringList caught;

// Every message f logs, so a test can tell "silent" from "warned"; zlib's own complaints aside.
template <typename F> QStringList messagesOf(F f)
{
    caught.clear();
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
              caught << text;
          });
    f();
    qInstallMessageHandler(previous);
    return caught.filter(QRegularExpression(QStringLiteral("^(?!qUncompress)")));
}

// The lines of one kind in the vectors make_cipher_vectors.py derives from the format alone.
QList<QList<QByteArray>> rows(const QByteArray& kind)
{
    QFile file(QStringLiteral(VPN_TEST_DATA_DIR "/settings/cipher_vectors.txt"));
    QList<QList<QByteArray>> result;
    for (bool open = file.open(QIODevice::ReadOnly); open && !file.atEnd();) {
        QList<QByteArray> fields = file.readLine().trimmed().split(' ');
        std::replace(fields.begin(), fields.end(), QByteArray("-"), QByteArray());
        if (fields.takeFirst() == kind) {
            result << fields;
        }
    }
    return result;
}

CredentialCipher keyed(quint64 key = rows("key").value(0).value(0).toULongLong(nullptr, 16))
{
    CredentialCipher cipher;
    cipher.setKey(key);
    return cipher;
}

} // namespace

class TestCredentialCipher : public QObject
{
    Q_OBJECT

private slots:
    void encipherMatchesVectors_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("integrity");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<RandomByteTexts>("expected");
        QMap<QByteArray, RandomByteTexts> groups;
        for (const QList<QByteArray>& r : rows("enc")) {
            groups[r[0] + ' ' + r[1] + ' ' + r[3]].insert(r[2].toInt(), r[4]);
        }
        QVERIFY(groups.size() >= 10);
        for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
            const QList<QByteArray> f = it.key().split(' ');
            const QByteArray plain = QByteArray::fromBase64(f[2]);
            QTest::addRow("compression %s, integrity %s, %d bytes", f[0].data(), f[1].data(), int(plain.size()))
                << f[0].toInt() << f[1].toInt() << plain << it.value();
        }
    }

    // The random byte cannot be chosen: encipher until listed ones come up, then match byte for byte.
    void encipherMatchesVectors()
    {
        QFETCH(int, compression);
        QFETCH(int, integrity);
        QFETCH(QByteArray, plain);
        QFETCH(RandomByteTexts, expected);
        CredentialCipher cipher = keyed();
        cipher.setCompressionMode(static_cast<CredentialCipher::CompressionMode>(compression));
        cipher.setIntegrityMode(static_cast<CredentialCipher::IntegrityMode>(integrity));
        int matched = 0;
        for (int attempt = 0; attempt < 3000 && matched < 2; ++attempt) {
            const QByteArray text = cipher.encipherText(QString::fromUtf8(plain)).toLatin1();
            const int randomByte = quint8(QByteArray::fromBase64(text).at(2)) ^ quint8(cipher.key() & 0xFF);
            if (expected.contains(randomByte)) {
                QCOMPARE(text, expected.value(randomByte));
                ++matched;
            }
        }
        QCOMPARE(matched, 2);
        // Deciphering follows the text's flags, whatever the modes of the reading side.
        CredentialCipher reader = keyed();
        reader.setCompressionMode(CredentialCipher::Never);
        reader.setIntegrityMode(CredentialCipher::None);
        for (const QByteArray& text : expected) {
            QCOMPARE(reader.decipherText(QString::fromLatin1(text)).toUtf8(), plain);
        }
    }

    void decipher_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("warnings");
        const QStringList badVersion { QStringLiteral("CredentialCipher: Invalid version or not a cyphertext.") };
        for (const QList<QByteArray>& r : rows("dec")) {
            QTest::newRow(r[1].constData())
                << QString::fromLatin1(r[1]) << QByteArray::fromBase64(r[0]) << 0 << QStringList();
        }
        for (const QList<QByteArray>& r : rows("bad")) {
            const int status = r[0].toInt();
            QTest::newRow(r[1].constData()) << QString::fromLatin1(r[1]) << QByteArray() << status
                                            << (status == CredentialCipher::BadVersion ? badVersion : QStringList());
        }
        // Too short after decoding: silent, status untouched.
        QTest::newRow("empty") << QString() << QByteArray() << 0 << QStringList();
        QTest::newRow("not Base64") << QStringLiteral("!!!***") << QByteArray() << 0 << QStringList();
        QTest::newRow("two bytes") << QStringLiteral("AwI=") << QByteArray() << 0 << QStringList();
        QTest::newRow("non-Latin-1") << QStringLiteral("пароль") << QByteArray() << 0 << QStringList();
        QTest::newRow("version 4") << QStringLiteral("BAIQIDA=") << QByteArray() << 2 << badVersion;
    }

    void decipher()
    {
        QFETCH(QString, text);
        CredentialCipher cipher = keyed();
        QString result = QStringLiteral("unset");
        QTEST(messagesOf([&] {
            result = cipher.decipherText(text);
        }),
            "warnings");
        QTEST(result.toUtf8(), "plain");
        QTEST(int(cipher.lastStatus()), "status");
    }

    void flippedByteFailsTheCheck_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("mask");
        for (const QList<QByteArray>& r : rows("enc")) { // a short and a compressed text, the client's modes
            if (r[0] == "0" && r[1] == "1" && r[2] == "32" && (r[3] == "cGFzc3dvcmQ=" || r[3].size() > 100)) {
                const QByteArray bytes = QByteArray::fromBase64(r[4]);
                for (int offset = 2; offset < bytes.size(); ++offset) {
                    for (int mask : { 0x01, 0x80, 0xFF }) {
                        QTest::addRow("%d bytes, [%d] ^ %02x", int(bytes.size()), offset, mask)
                            << bytes << offset << mask;
                    }
                }
            }
        }
    }

    void flippedByteFailsTheCheck()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, offset);
        QFETCH(int, mask);
        CredentialCipher cipher = keyed();
        QVERIFY(!cipher.decipherBytes(bytes).isEmpty());
        bytes[offset] = char(bytes.at(offset) ^ mask);
        QCOMPARE(messagesOf([&] {
            QVERIFY(cipher.decipherBytes(bytes).isEmpty());
        }),
            QStringList());
        QCOMPARE(cipher.lastStatus(), CredentialCipher::IntegrityMismatch);
    }

    void wrongOrMissingKey()
    {
        CredentialCipher cipher = keyed();
        const QString text = cipher.encipherText(QStringLiteral("password"));
        CredentialCipher other = keyed(cipher.key() ^ 0x0100000000000000ULL);
        QVERIFY(other.decipherText(text).isEmpty());
        QCOMPARE(other.lastStatus(), CredentialCipher::IntegrityMismatch);

        CredentialCipher none;
        QTest::ignoreMessage(QtWarningMsg, "CredentialCipher: No key set.");
        QVERIFY(none.encipherText(QStringLiteral("password")).isEmpty());
        QCOMPARE(none.lastStatus(), CredentialCipher::KeyMissing);
        QTest::ignoreMessage(QtWarningMsg, "CredentialCipher: No key set.");
        QVERIFY(none.decipherText(text).isEmpty());
        QCOMPARE(none.lastStatus(), CredentialCipher::KeyMissing);
        none.setKey(0); // a key of zero is a key like any other
        QCOMPARE(none.decipherText(none.encipherText(QStringLiteral("zero"))), QStringLiteral("zero"));
    }

    void primitivesMatchTheFormat_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("expected");
        for (const QByteArray kind : { "crc", "sha1", "zip" }) {
            for (const QList<QByteArray>& r : rows(kind)) {
                QTest::addRow("%s of %d bytes", kind.data(), int(QByteArray::fromBase64(r[0]).size()))
                    << kind << QByteArray::fromBase64(r[0]) << r[1];
            }
        }
    }

    // The cipher relies on these Qt primitives producing exactly the catalogued formats.
    void primitivesMatchTheFormat()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, expected);
        if (kind == "crc") {
            const quint16 crc = qChecksum(data.constData(), uint(data.size()), Qt::ChecksumIso3309);
            QCOMPARE(QByteArray::number(crc, 16).rightJustified(4, '0').toUpper(), expected);
        } else if (kind == "sha1") {
            QCOMPARE(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex(), expected);
        } else {
            QCOMPARE(qCompress(data, 9).toBase64(), expected);
            QCOMPARE(qUncompress(QByteArray::fromBase64(expected)), data);
        }
    }
};

QTEST_GUILESS_MAIN(TestCredentialCipher)
#include "tst_credentialcipher.moc"
