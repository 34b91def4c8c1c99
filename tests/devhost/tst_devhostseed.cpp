// The development host's seeding program as a real process against a private settings store: it
// stores the demo account enciphered with the client's key, and never replaces an account a person
// has stored or the other settings beside it.
#include "settings/credentialcipher.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <deploymentconfig.h>

namespace {

const QString seedProgram = QStringLiteral(VPN_APP_DIR "/devhost-seed");

struct SeedRun
{
    int exitCode = -1;
    QString output;
};

} // namespace

class TestDevhostSeed : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void seedsOnlyWithoutAccount_data();
    void seedsOnlyWithoutAccount();
    void refusesIncompleteArguments_data();
    void refusesIncompleteArguments();

private:
    QString storePath() const;
    QString encipher(const QString& text) const;
    QString decipher(const QString& text) const;
    SeedRun runSeed(const QStringList& arguments) const;

    QScopedPointer<QTemporaryDir> configHome;
};

void TestDevhostSeed::init()
{
    configHome.reset(new QTemporaryDir());
    QVERIFY(configHome->isValid());
}

QString TestDevhostSeed::storePath() const
{
    return configHome->filePath(QStringLiteral("VPN/VPNClient.conf"));
}

QString TestDevhostSeed::encipher(const QString& text) const
{
    CredentialCipher cipher;
    cipher.setKey(Deployment::cipherKey);
    return cipher.encipherText(text);
}

QString TestDevhostSeed::decipher(const QString& text) const
{
    CredentialCipher cipher;
    cipher.setKey(Deployment::cipherKey);
    return cipher.decipherText(text);
}

SeedRun TestDevhostSeed::runSeed(const QStringList& arguments) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome->path());
    process.setProcessEnvironment(env);
    process.start(seedProgram, arguments);
    SeedRun run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
        return run;
    }
    run.exitCode = process.exitCode();
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    return run;
}

void TestDevhostSeed::seedsOnlyWithoutAccount_data()
{
    QTest::addColumn<QString>("storedUser");
    QTest::addColumn<QString>("storedPassword");
    QTest::addColumn<QString>("expectedUser");
    QTest::addColumn<QString>("expectedPassword");
    QTest::addColumn<QString>("expectedOutput");

    QTest::newRow("empty store") << QString() << QString() << "demo"
                                 << "demo-password"
                                 << "credentials stored for demo\n";
    QTest::newRow("account stored") << "alice"
                                    << "s3cret"
                                    << "alice"
                                    << "s3cret"
                                    << "credentials already stored for alice\n";
    // Half an account cannot sign in: the demo account replaces it.
    QTest::newRow("user without password") << "alice" << QString() << "demo"
                                           << "demo-password"
                                           << "credentials stored for demo\n";
    QTest::newRow("password without user") << QString() << "s3cret"
                                           << "demo"
                                           << "demo-password"
                                           << "credentials stored for demo\n";
}

void TestDevhostSeed::seedsOnlyWithoutAccount()
{
    QFETCH(QString, storedUser);
    QFETCH(QString, storedPassword);
    QFETCH(QString, expectedUser);
    QFETCH(QString, expectedPassword);
    QFETCH(QString, expectedOutput);

    {
        QSettings store(storePath(), QSettings::IniFormat);
        store.beginGroup(QStringLiteral("Settings"));
        // A choice of the person's that seeding must keep.
        store.setValue(QStringLiteral("currentServerId"), 3);
        if (!storedUser.isEmpty()) {
            store.setValue(QStringLiteral("userName"), encipher(storedUser));
        }
        if (!storedPassword.isEmpty()) {
            store.setValue(QStringLiteral("password"), encipher(storedPassword));
        }
        store.endGroup();
        store.sync();
        QCOMPARE(store.status(), QSettings::NoError);
    }

    const SeedRun run = runSeed({ QStringLiteral("demo"), QStringLiteral("demo-password") });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.output, expectedOutput);

    QSettings store(storePath(), QSettings::IniFormat);
    store.beginGroup(QStringLiteral("Settings"));
    const QString userText = store.value(QStringLiteral("userName")).toString();
    const QString passwordText = store.value(QStringLiteral("password")).toString();
    QVERIFY(!userText.contains(expectedUser));
    QVERIFY(!passwordText.contains(expectedPassword));
    QCOMPARE(decipher(userText), expectedUser);
    QCOMPARE(decipher(passwordText), expectedPassword);
    QCOMPARE(store.value(QStringLiteral("currentServerId")).toInt(), 3);
}

void TestDevhostSeed::refusesIncompleteArguments_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("none") << QStringList();
    QTest::newRow("user only") << QStringList { QStringLiteral("demo") };
    QTest::newRow("empty password") << QStringList { QStringLiteral("demo"), QString() };
    QTest::newRow("one too many") << QStringList { QStringLiteral("demo"), QStringLiteral("pw"), QStringLiteral("x") };
}

void TestDevhostSeed::refusesIncompleteArguments()
{
    QFETCH(QStringList, arguments);

    QCOMPARE(runSeed(arguments).exitCode, 2);
    QVERIFY(!QFile::exists(storePath()));
}

QTEST_GUILESS_MAIN(TestDevhostSeed)
#include "tst_devhostseed.moc"
