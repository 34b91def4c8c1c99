#include "settings/uistyle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaProperty>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

const char* const noFileWarning = "UiStyle: Branding file does not exists!";
const char* const disabledWarning = "UiStyle: Branding style is not enabled!";

void writeIni(const QString& folder, const QByteArray& content)
{
    QFile file(folder + QStringLiteral("/branding.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QStringList textProperties()
{
    QStringList names;
    const QMetaObject& meta = UiStyle::staticMetaObject;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        if (meta.property(i).type() == QVariant::String) {
            names << QString::fromLatin1(meta.property(i).name());
        }
    }
    return names;
}

} // namespace

class TestUiStyle : public QObject
{
    Q_OBJECT

private slots:
    void baseSets_data();
    void baseSets();
    void showLogs_data();
    void showLogs();
    void logo_data();
    void logo();
    void everyKeyCanBeReplaced();
    void unknownKeyChangesNothing();
    void defaultFolderIsBesideExecutable();
};

void TestUiStyle::baseSets_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("writeFile");
    QTest::addColumn<QString>("expectedLog");
    QTest::addColumn<bool>("brandingEnabled");
    QTest::addColumn<bool>("darkStyle");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("circles");

    QTest::newRow("no file") << QByteArray() << false << noFileWarning << true << false << "#f6f7f9"
                             << "#dedfe1";
    QTest::newRow("only Main, enabled: dark set")
        << QByteArray("[Main]\nbrandingEnabled=true\n") << true
        << "UiStyle: Version '0', enabled: true, dark style: true" << true << true << "#102847"
        << "#193151";
    QTest::newRow("disabled: darkStyle not read")
        << QByteArray("[Main]\nversion=7\nbrandingEnabled=false\ndarkStyle=true\n") << true << disabledWarning << false
        << false << "#f6f7f9"
        << "#dedfe1";
    QTest::newRow("light chosen, one colour replaced")
        << QByteArray("[Main]\nversion=3\ndarkStyle=false\n[Style]\ngeneralBackgroundColor=#123456\n") << true
        << "UiStyle: Version '3', enabled: true, dark style: false" << true << false << "#123456"
        << "#dedfe1";
    QTest::newRow("numeric booleans") << QByteArray("[Main]\nbrandingEnabled=1\ndarkStyle=0\n") << true
                                      << "UiStyle: Version '0', enabled: true, dark style: false" << true << false
                                      << "#f6f7f9"
                                      << "#dedfe1";
    QTest::newRow("malformed file reads as missing keys")
        << QByteArray("\x01\x02garbage without groups\n=\n[[[\n") << true
        << "UiStyle: Version '0', enabled: true, dark style: true" << true << true << "#102847"
        << "#193151";
}

void TestUiStyle::baseSets()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, writeFile);
    QFETCH(QString, expectedLog);
    QTemporaryDir folder;
    if (writeFile) {
        writeIni(folder.path(), ini);
    }
    const QtMsgType type = expectedLog.contains(QLatin1String("Version")) ? QtInfoMsg : QtWarningMsg;
    QTest::ignoreMessage(type, expectedLog.toUtf8().constData());

    UiStyle style(folder.path(), nullptr);

    QCOMPARE(style.objectName(), QStringLiteral("UiStyle"));
    QTEST(style.brandingEnabled(), "brandingEnabled");
    QTEST(style.darkStyle(), "darkStyle");
    QTEST(style.generalBackgroundColor(), "background");
    QTEST(style.connectionPageCirclesColor(), "circles");
    QCOMPARE(style.property("darkStyle").toBool(), style.darkStyle());
    QVERIFY(style.settingsPageShowLogs());
    QCOMPARE(style.connectionPageSettingsButtonIconColor(), QString());
    QCOMPARE(style.generalLogoFileName(), QStringLiteral("qrc:/resources/icons/vpn.png"));
}

void TestUiStyle::showLogs_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("expected");
    QTest::newRow("TRUE") << QByteArray("TRUE") << true;
    QTest::newRow("True") << QByteArray("True") << true;
    QTest::newRow("yes") << QByteArray("yes") << false;
    QTest::newRow("1") << QByteArray("1") << false;
    QTest::newRow("false") << QByteArray("false") << false;
}

void TestUiStyle::showLogs()
{
    QFETCH(QByteArray, value);
    QTemporaryDir folder;
    writeIni(folder.path(), "[Main]\n[Style]\nsettingsPageShowLogs=" + value + "\n");
    QTest::ignoreMessage(QtInfoMsg, "UiStyle: Version '0', enabled: true, dark style: true");
    UiStyle style(folder.path(), nullptr);
    QTEST(style.settingsPageShowLogs(), "expected");
    QTEST(style.property("settingsPageShowLogs").toBool(), "expected");
}

void TestUiStyle::logo_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("relative");
    QTest::newRow("qrc unchanged") << "qrc:/somewhere/logo.png" << false;
    QTest::newRow("relative to branding folder") << "logo.png" << true;
    QTest::newRow("relative with sub-folder") << "images/logo.png" << true;
    QTest::newRow("absolute unchanged") << "/opt/brand/logo.png" << false;
}

void TestUiStyle::logo()
{
    QFETCH(QString, value);
    QFETCH(bool, relative);
    QTemporaryDir folder;
    writeIni(folder.path(), "[Main]\ndarkStyle=false\n[Style]\ngeneralLogoFileName=" + value.toUtf8() + "\n");
    QTest::ignoreMessage(QtInfoMsg, "UiStyle: Version '0', enabled: true, dark style: false");
    UiStyle style(folder.path(), nullptr);

    const QString expected
        = relative ? QUrl::fromLocalFile(QDir(folder.path()).absoluteFilePath(value)).toString() : value;
    QCOMPARE(style.generalLogoFileName(), expected);
    QCOMPARE(style.property("generalLogoFileName").toString(), expected);
    if (relative) {
        // The URL must lead to the file inside the branding folder.
        QCOMPARE(QUrl(expected).toLocalFile(), folder.path() + QLatin1Char('/') + value);
    }
}

void TestUiStyle::everyKeyCanBeReplaced()
{
    // Each QML-visible text property must read the key of its own name.
    const QStringList names = textProperties();
    QCOMPARE(names.size(), 47);
    QByteArray ini("[Main]\n[Style]\n");
    for (const QString& name : names) {
        ini += name.toUtf8() + "=x-" + name.toUtf8() + "\n";
    }
    QTemporaryDir folder;
    writeIni(folder.path(), ini);
    QTest::ignoreMessage(QtInfoMsg, "UiStyle: Version '0', enabled: true, dark style: true");
    UiStyle style(folder.path(), nullptr);
    for (const QString& name : names) {
        const QString value = style.property(name.toLatin1().constData()).toString();
        if (name == QLatin1String("generalLogoFileName")) {
            QVERIFY2(value.endsWith(QLatin1String("/x-generalLogoFileName")), qPrintable(value));
        } else {
            QCOMPARE(value, QStringLiteral("x-") + name);
        }
    }
}

void TestUiStyle::unknownKeyChangesNothing()
{
    QTemporaryDir plainFolder;
    QTemporaryDir extraFolder;
    writeIni(plainFolder.path(), "[Main]\n");
    writeIni(extraFolder.path(), "[Main]\n[Style]\ngeneralBackgroundColour=red\nbrandingEnabled=false\n");
    QTest::ignoreMessage(QtInfoMsg, "UiStyle: Version '0', enabled: true, dark style: true");
    QTest::ignoreMessage(QtInfoMsg, "UiStyle: Version '0', enabled: true, dark style: true");
    UiStyle plain(plainFolder.path(), nullptr);
    UiStyle extra(extraFolder.path(), nullptr);

    QVERIFY(extra.brandingEnabled());
    QVERIFY(extra.dynamicPropertyNames().isEmpty());
    for (const QString& name : textProperties()) {
        if (name == QLatin1String("generalLogoFileName")) {
            continue;
        }
        QCOMPARE(extra.property(qPrintable(name)).toString(), plain.property(qPrintable(name)).toString());
    }
    QCOMPARE(extra.generalBackgroundColor(), QStringLiteral("#102847"));
}

void TestUiStyle::defaultFolderIsBesideExecutable()
{
    QCOMPARE(UiStyle::defaultBrandingFolder(), QCoreApplication::applicationDirPath() + QStringLiteral("/branding"));

    QDir appDir(QCoreApplication::applicationDirPath());
    QVERIFY(!appDir.exists(QStringLiteral("branding")));
    QVERIFY(appDir.mkdir(QStringLiteral("branding")));
    writeIni(appDir.filePath(QStringLiteral("branding")), "[Main]\nversion=12\n[Style]\ngeneralSectionColor=#abcdef\n");
    QTest::ignoreMessage(QtInfoMsg, "UiStyle: Version '12', enabled: true, dark style: true");
    UiStyle style;
    QDir(appDir.filePath(QStringLiteral("branding"))).removeRecursively();

    QVERIFY(style.darkStyle());
    QCOMPARE(style.generalSectionColor(), QStringLiteral("#abcdef"));
}

QTEST_GUILESS_MAIN(TestUiStyle)

#include "tst_uistyle.moc"
