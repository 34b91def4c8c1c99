#include "../support/testkit.h"
#include "platform/autostart.h"
#include "settings/credentialcipher.h"
#include "settings/settings.h"

#include <deploymentconfig.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaProperty>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QJsonObject defaults { { "password", "" }, { "userName", "" }, { "allowAccessToLocalDevices", true },
    { "autoReconnectToVpn", true }, { "autoUpdateEnabled", false }, { "connectToLastLocation", false },
    { "killswitchEnabled", false }, { "lockdownEnabled", false }, { "launchAppOnStartup", false }, { "mtuSize", 0 },
    { "networkProtocol", 0 }, { "currentServerId", 0 }, { "keepRunningInTray", true }, { "notificationsEnabled", true },
    { "startInTray", false }, { "favouriteServers", QJsonArray() } };

const QJsonObject changed { { "password", "Tr0ub4dor&3" }, { "userName", "alice" },
    { "allowAccessToLocalDevices", false }, { "autoReconnectToVpn", false }, { "autoUpdateEnabled", true },
    { "connectToLastLocation", true }, { "killswitchEnabled", true }, { "lockdownEnabled", true },
    { "launchAppOnStartup", true }, { "mtuSize", 1380 }, { "networkProtocol", 1 }, { "currentServerId", 4711 },
    { "keepRunningInTray", false }, { "notificationsEnabled", false }, { "startInTray", true },
    { "favouriteServers", QJsonArray { "de1", "Zürich, 2" } } };

QJsonObject merged(const QJsonObject& changes)
{
    QVariantMap map = defaults.toVariantMap();
    map.insert(changes.toVariantMap());
    return QJsonObject::fromVariantMap(map);
}

QJsonObject dump()
{
    QJsonObject result { { "currentServerId", Settings::instance()->currentServerId() } };
    const QMetaObject& meta = Settings::staticMetaObject;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        result.insert(meta.property(i).name(), QJsonValue::fromVariant(meta.property(i).read(Settings::instance())));
    }
    return result;
}

void set(const QString& name, const QVariant& value)
{
    if (!Settings::instance()->setProperty(qPrintable(name), value)) { // the one field that is no property
        Settings::instance()->setCurrentServerId(value.toInt());
    }
}

// The lines of one kind in the vectors make_cipher_vectors.py derives from the format alone.
QList<QByteArrayList> rows(const QByteArray& kind)
{
    QFile file(QStringLiteral(VPN_TEST_DATA_DIR "/settings/cipher_vectors.txt"));
    QList<QByteArrayList> result;
    for (bool open = file.open(QIODevice::ReadOnly); open && !file.atEnd();) {
        QByteArrayList fields = file.readLine().trimmed().split(' ');
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

// A user profile of its own for runs of "tst_settings helper [JSON|--save]...": a fresh client process
// that applies the values through the setters, saves when asked and prints every field.
struct Profile
{
    QTemporaryDir dir;
    QString store = dir.filePath(QStringLiteral("config/VPN/VPNClient.conf"));
    QJsonObject run(const QStringList& args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationFilePath(), QStringList { "helper" } + args);
        process.waitForFinished(30000);
        return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    }
};

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void vectors_data()
    {
        QTest::addColumn<QByteArrayList>("v");
        for (const QByteArray kind : { "enc", "dec" }) {
            for (const QByteArrayList& r : rows(kind)) {
                QTest::newRow((kind + ' ' + r.join(' ').left(40)).constData()) << QByteArrayList { kind } + r;
            }
        }
    }

    void vectors()
    {
        QFETCH(QByteArrayList, v);
        CredentialCipher cipher = keyed();
        if (v[0] == "dec") { // status, plain, cipher text
            QCOMPARE(cipher.decipherText(QString::fromUtf8(v[3])).toUtf8(), QByteArray::fromBase64(v[2]));
            QCOMPARE(int(cipher.lastStatus()), v[1].toInt());
            return;
        }
        // compression, integrity, random byte, plain, cipher text
        cipher.setCompressionMode(CredentialCipher::CompressionMode(v[1].toInt()));
        cipher.setIntegrityMode(CredentialCipher::IntegrityMode(v[2].toInt()));
        const QString plain = QString::fromUtf8(QByteArray::fromBase64(v[4]));
        QByteArray text = "AAAA"; // the random byte cannot be chosen: encipher until the listed one comes up
        for (int i = 0; i < 6000 && (quint8(QByteArray::fromBase64(text).at(2)) ^ quint8(cipher.key())) != v[3].toInt();
             ++i) {
            text = cipher.encipherText(plain).toLatin1();
        }
        QCOMPARE(text, v[5]);
        // Deciphering follows the text's flags, whatever the modes of the reading side.
        cipher.setCompressionMode(CredentialCipher::Never);
        cipher.setIntegrityMode(CredentialCipher::None);
        QCOMPARE(cipher.decipherText(QString::fromLatin1(text)), plain);
    }

    // Stored text is not trusted to be small: neither a long one nor a short one that announces a
    // huge compressed payload is unpacked.
    void oversized_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("announces 1 GB") << QStringLiteral("A/kDOa/AXgAbU3ESQCyKebus8iYAAwM5r8Be");
        CredentialCipher cipher = keyed();
        cipher.setCompressionMode(CredentialCipher::Never);
        QTest::newRow("longer than 64 KiB") << cipher.encipherText(QString(CredentialCipher::maxCipherSize, 'x'));
    }
    void oversized()
    {
        QFETCH(QString, text);
        CredentialCipher cipher = keyed();
        QVERIFY(cipher.decipherText(text).isEmpty());
        QCOMPARE(cipher.lastStatus(), CredentialCipher::IntegrityMismatch);
    }

    void missingKey()
    {
        const QString text = keyed().encipherText(QStringLiteral("password"));
        CredentialCipher none;
        QVERIFY(none.encipherText(text).isEmpty() && none.decipherText(text).isEmpty());
        QCOMPARE(none.lastStatus(), CredentialCipher::KeyMissing);
        none.setKey(0); // a key of zero is a key like any other
        QCOMPARE(none.decipherText(none.encipherText(QStringLiteral("zero"))), QStringLiteral("zero"));
    }

    void saveRestoresInFreshProcess_data()
    {
        QTest::addColumn<QJsonObject>("values");
        QTest::newRow("every field") << changed;
        QTest::newRow("non-ASCII") << QJsonObject { { "password", QString::fromUtf8("пароль=[x]\xF0\x9F\x94\x91") },
            { "userName", QStringLiteral("Jürgen Ørsted") }, { "currentServerId", -3 } };
        QTest::newRow("empty credentials") << QJsonObject { { "mtuSize", 1500 } };
    }

    void saveRestoresInFreshProcess()
    {
        QFETCH(QJsonObject, values);
        Profile profile;
        QStringList texts;
        // Each fresh process restores what the last one saved, and enciphers the credentials anew.
        for (const QStringList& args :
            QList<QStringList> { { QJsonDocument(values).toJson(), "--save" }, { "--save" } }) {
            QCOMPARE(profile.run(args), merged(values));
            QSettings store(profile.store, QSettings::IniFormat);
            QFile file(profile.store);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray content = file.readAll();
            for (const QString credential : { "password", "userName" }) {
                const QString clear = values.value(credential).toString();
                texts << store.value("Settings/" + credential).toString();
                QCOMPARE(keyed(Deployment::cipherKey).decipherText(texts.last()), clear);
                QVERIFY2(clear.isEmpty() || !content.contains(clear.toUtf8()), content.constData());
            }
        }
        QVERIFY(texts.mid(0, 2) != texts.mid(2)); // both equal: 1 in 65536
    }

    void damagedStoreStillStarts_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<QJsonObject>("changes");
        QTest::newRow("not Base64, wrong version") << QByteArray("[Settings]\npassword=BAKr/8T1eQ==\nuserName=@@@###\nmtuSize=1400\n") << QJsonObject { { "mtuSize", 1400 } };
        QTest::newRow("favourites twice or empty") << QByteArray("[Settings]\nfavouriteServers=a, , a, b\n") << QJsonObject { { "favouriteServers", QJsonArray { "a", "b" } } };
        QTest::newRow("binary junk") << QByteArray("\xff\xfe[\0=]\n\x01\x80", 9).repeated(400) << QJsonObject();
        QTest::newRow("a folder, not a file") << QByteArray("folder") << QJsonObject();
        QTest::newRow("first run") << QByteArray() << QJsonObject();
        // Another build's store: from the vector generator, which uses the demo deployment's key.
        const char* const secret = Deployment::cipherKey == 0x5A17C0DE9E3779B9ULL ? "secret" : "";
        QTest::newRow("another build") << QByteArray("[Settings]\nuserName=AwKo*.z+sGvR57RIk=\n") << QJsonObject { { "userName", secret } };
        // clang-format on
    }

    void damagedStoreStillStarts()
    {
        QFETCH(QByteArray, store);
        QFETCH(QJsonObject, changes);
        Profile profile;
        QFile file(profile.store);
        QVERIFY(QDir().mkpath(store == "folder" ? profile.store : QFileInfo(profile.store).path()));
        QVERIFY(store == "folder" || store.isNull()
            || (file.open(QIODevice::WriteOnly) && file.write(store) == store.size()));
        file.close();
        QCOMPARE(profile.run({}), merged(changes));
        QCOMPARE(file.exists(), !store.isNull()); // loading writes nothing
    }

    void settersEmitOnlyOnChange_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString& name : changed.keys()) {
            QTest::newRow(qPrintable(name)) << name;
        }
    }

    void settersEmitOnlyOnChange()
    {
        QFETCH(QString, name);
        const int index = Settings::staticMetaObject.indexOfProperty(qPrintable(name));
        QSignalSpy spy(Settings::instance(),
            index < 0 ? QMetaMethod::fromSignal(&Settings::currentServerIdChanged)
                      : Settings::staticMetaObject.property(index).notifySignal());
        const QVariant original = dump().value(name).toVariant();
        const QVariant other = changed.value(name).toVariant();
        for (const QVariant& value : { original, other, other, original }) {
            set(name, value);
            QCOMPARE(dump().value(name).toVariant(), value);
        }
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0), other);
        QVERIFY(!QFile::exists(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + "/VPN")); // only save() writes
        // launchAppOnStartup is read live from the sign-in registration, even when changed behind the store's back.
        QVERIFY(AutoStart::setEnabled(true) && Settings::instance()->launchAppOnStartup());
        QVERIFY(!AutoStart::setEnabled(false) && !Settings::instance()->launchAppOnStartup());
    }

    // The sign-in launch starts in the tray exactly while the setting says so, whichever is set first.
    void signInLaunchFollowsStartInTray()
    {
        Settings* settings = Settings::instance();
        const auto hidden = [] {
            return AutoStart::isEnabled() && AutoStart::isHidden();
        };
        settings->setStartInTray(true);
        settings->setLaunchAppOnStartup(true);
        QVERIFY(hidden());
        settings->setStartInTray(false);
        QVERIFY(settings->launchAppOnStartup() && !hidden());
        settings->setStartInTray(true);
        QVERIFY(settings->launchAppOnStartup() && hidden());
        settings->setLaunchAppOnStartup(false);
        settings->setStartInTray(false);
        QVERIFY(!AutoStart::isEnabled());
    }
};

int main(int argc, char* argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "helper") == 0) {
        QCoreApplication app(argc, argv);
        for (const QString& arg : app.arguments().mid(2)) {
            const QVariantMap values = QJsonDocument::fromJson(arg.toUtf8()).object().toVariantMap();
            for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
                set(it.key(), it.value());
            }
            if (arg == QLatin1String("--save")) {
                Settings::instance()->save();
            }
        }
        return std::fputs(QJsonDocument(dump()).toJson().constData(), stdout) < 0;
    }
    // The in-process store and registration must not touch the user's own: isolate before Qt caches paths.
    TemporaryProfile profile;
    QCoreApplication app(argc, argv);
    TestSettings test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings.moc"
