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
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("stored"); // "user:password" before, either part may be empty
        QTest::addColumn<QString>("after"); // "user:password"; empty: refused, no store written at all
        QTest::newRow("empty store") << "demo demo-pw"
                                     << ""
                                     << "demo:demo-pw";
        QTest::newRow("account stored") << "demo demo-pw"
                                        << "alice:s3cret"
                                        << "alice:s3cret";
        // Half an account cannot sign in: the demo account replaces it.
        QTest::newRow("user alone") << "demo demo-pw"
                                    << "alice:"
                                    << "demo:demo-pw";
        QTest::newRow("password alone") << "demo demo-pw"
                                        << ":s3cret"
                                        << "demo:demo-pw";
        QTest::newRow("user only") << "demo"
                                   << ""
                                   << "";
        QTest::newRow("empty password") << "demo "
                                        << ""
                                        << "";
        QTest::newRow("one too many") << "demo pw x"
                                      << ""
                                      << "";
    }
    void seeds()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, stored);
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
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
        QProcess seed;
        seed.start(VPN_APP_DIR "/devhost-seed", arguments.split(' '));
        QVERIFY(seed.waitForFinished(30000) && seed.exitStatus() == QProcess::NormalExit);
        QCOMPARE(seed.exitCode(), after.isEmpty() ? 2 : 0);
        QCOMPARE(QFile::exists(path), !after.isEmpty());
        const QString already = after == stored ? "already " : "";
        QCOMPARE(seed.readAllStandardOutput(),
            after.isEmpty() ? QByteArray()
                            : ("credentials " + already + "stored for " + after.section(':', 0, 0) + "\n").toUtf8());
        QSettings store(path, QSettings::IniFormat);
        for (int i = 0; i < 2 && !after.isEmpty(); ++i) { // never clear text
            const QString text = store.value(names.at(i)).toString();
            QVERIFY(!text.contains(after.section(':', i, i)));
            QCOMPARE(cipher.decipherText(text), after.section(':', i, i));
        }
        QCOMPARE(store.value("Settings/currentServerId", 3).toInt(), 3);
    }
};

QTEST_GUILESS_MAIN(TestDevhostSeed)
#include "tst_devhostseed.moc"
