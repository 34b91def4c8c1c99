// The development host's seeding program as a real process against a private settings store: it
// stores the demo account enciphered with the client's key, and never replaces an account a person
// has stored or the other settings beside it.
#include "settings/credentialcipher.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <deploymentconfig.h>

class TestDevhostSeed : public QObject
{
    Q_OBJECT

private slots:
    void seeds_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("stored"); // "user:password" before, either part may be empty
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("after"); // "user:password"; empty: no store written at all
        QTest::newRow("empty store") << QStringList { "demo", "demo-password" } << "" << 0 << "demo:demo-password";
        QTest::newRow("account stored") << QStringList { "demo", "demo-password" } << "alice:s3cret" << 0
                                        << "alice:s3cret";
        // Half an account cannot sign in: the demo account replaces it.
        QTest::newRow("user alone") << QStringList { "demo", "demo-password" } << "alice:" << 0 << "demo:demo-password";
        QTest::newRow("password alone") << QStringList { "demo", "demo-password" } << ":s3cret" << 0
                                        << "demo:demo-password";
        QTest::newRow("user only") << QStringList { "demo" } << "" << 2 << "";
        QTest::newRow("empty password") << QStringList { "demo", "" } << "" << 2 << "";
        QTest::newRow("one too many") << QStringList { "demo", "pw", "x" } << "" << 2 << "";
    }
    void seeds()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, stored);
        QFETCH(int, exitCode);
        QFETCH(QString, after);
        QTemporaryDir configHome;
        const QString path = configHome.filePath("VPN/VPNClient.conf");
        CredentialCipher cipher;
        cipher.setKey(Deployment::cipherKey);
        const QStringList names { "Settings/userName", "Settings/password" };
        if (!after.isEmpty()) {
            QSettings store(path, QSettings::IniFormat);
            store.setValue("Settings/currentServerId", 3); // a choice of the person's that seeding must keep
            for (int i = 0; i < 2; ++i) {
                if (!stored.section(':', i, i).isEmpty()) {
                    store.setValue(names.at(i), cipher.encipherText(stored.section(':', i, i)));
                }
            }
        }

        QProcess seed;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", configHome.path());
        seed.setProcessEnvironment(environment);
        seed.start(VPN_APP_DIR "/devhost-seed", arguments);
        QVERIFY(seed.waitForFinished(30000) && seed.exitStatus() == QProcess::NormalExit);
        QCOMPARE(seed.exitCode(), exitCode);
        QCOMPARE(QFile::exists(path), !after.isEmpty());
        if (after.isEmpty()) {
            return;
        }
        const QString user = after.section(':', 0, 0);
        QCOMPARE(seed.readAllStandardOutput(),
            QString("credentials %1stored for %2\n").arg(after == stored ? "already " : "", user).toUtf8());
        QSettings store(path, QSettings::IniFormat);
        for (int i = 0; i < 2; ++i) { // never clear text
            const QString text = store.value(names.at(i)).toString();
            QVERIFY(!text.contains(after.section(':', i, i)));
            QCOMPARE(cipher.decipherText(text), after.section(':', i, i));
        }
        QCOMPARE(store.value("Settings/currentServerId").toInt(), 3);
    }
};

QTEST_GUILESS_MAIN(TestDevhostSeed)
#include "tst_devhostseed.moc"
