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
        // "ARGUMENTS|STORED BEFORE|STORED AFTER", as "user:password" (either may be empty); nothing after:
        // refused, no store written at all.
        QTest::addColumn<QString>("row");
        QTest::newRow("empty store") << "demo demo-pw|:|demo:demo-pw";
        QTest::newRow("account stored") << "demo demo-pw|alice:s3cret|alice:s3cret";
        // Half an account cannot sign in: the demo account replaces it.
        QTest::newRow("user alone") << "demo demo-pw|alice:|demo:demo-pw";
        QTest::newRow("password alone") << "demo demo-pw|:s3cret|demo:demo-pw";
        QTest::newRow("user only") << "demo||";
        QTest::newRow("empty password") << "demo ||";
        QTest::newRow("one too many") << "demo pw x||";
    }
    void seeds()
    {
        QFETCH(QString, row);
        const QString arguments = row.section('|', 0, 0), stored = row.section('|', 1, 1), after = row.section('|', 2);
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        QSettings store(home.filePath("VPN/VPNClient.conf"), QSettings::IniFormat);
        CredentialCipher cipher;
        cipher.setKey(Deployment::cipherKey);
        const QStringList names { "Settings/userName", "Settings/password" };
        for (int i = 0; i < 2 && !stored.isEmpty(); ++i) {
            store.setValue("Settings/currentServerId", 3); // a choice of the person's that seeding must keep
            if (!stored.section(':', i, i).isEmpty()) {
                store.setValue(names.at(i), cipher.encipherText(stored.section(':', i, i)));
            }
        }
        store.sync();

        QProcess seed;
        seed.start(VPN_APP_DIR "/devhost-seed", arguments.split(' '));
        QVERIFY(seed.waitForFinished(30000) && seed.exitStatus() == QProcess::NormalExit);
        QCOMPARE(seed.exitCode(), after.isEmpty() ? 2 : 0);
        QCOMPARE(QFile::exists(store.fileName()), !after.isEmpty());
        if (!after.isEmpty()) {
            store.sync();
            for (int i = 0; i < 2; ++i) { // never clear text
                QVERIFY(!store.value(names.at(i)).toString().contains(after.section(':', i, i)));
                QCOMPARE(cipher.decipherText(store.value(names.at(i)).toString()), after.section(':', i, i));
            }
            QCOMPARE(store.value("Settings/currentServerId").toInt(), 3);
        }
    }
};

QTEST_GUILESS_MAIN(TestDevhostSeed)
#include "tst_devhostseed.moc"
