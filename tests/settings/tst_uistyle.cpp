#include "settings/uistyle.h"

#include <QMetaProperty>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

const QString darkLog = QStringLiteral("UiStyle: Version '0', enabled: true, dark style: true");

void writeIni(const QString& folder, const QByteArray& content)
{
    QFile file(folder + QStringLiteral("/branding.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
}

} // namespace

class TestUiStyle : public QObject
{
    Q_OBJECT

private slots:
    void branding_data()
    {
        for (const char* column : { "log", "background", "logo" }) {
            QTest::addColumn<QString>(column);
        }
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("showLogs");
        const auto row = [](const char* name, const QByteArray& ini, const QString& log, bool enabled, bool dark,
                             const QString& background, bool showLogs = true,
                             const QString& logo = QStringLiteral("qrc:/resources/icons/vpn.png")) {
            QTest::newRow(name) << log << background << logo << ini << enabled << dark << showLogs;
        };
        row("no file", QByteArray(), "UiStyle: Branding file does not exists!", true, false, "#f6f7f9");
        row("only Main, enabled: dark set", "[Main]\nbrandingEnabled=true\n", darkLog, true, true, "#102847");
        row("disabled: darkStyle not read", "[Main]\nversion=7\nbrandingEnabled=false\ndarkStyle=true\n",
            "UiStyle: Branding style is not enabled!", false, false, "#f6f7f9");
        row("light, one colour replaced",
            "[Main]\nversion=3\ndarkStyle=false\n[Style]\ngeneralBackgroundColor=#123456\n",
            "UiStyle: Version '3', enabled: true, dark style: false", true, false, "#123456");
        row("malformed file", "\x01\x02garbage without groups\n=\n[[[\n", darkLog, true, true, "#102847");
        row("showLogs TRUE", "[Style]\nsettingsPageShowLogs=TRUE\n", darkLog, true, true, "#102847", true);
        row("showLogs yes", "[Style]\nsettingsPageShowLogs=yes\n", darkLog, true, true, "#102847", false);
        row("unknown keys", "[Style]\ngeneralBackgroundColour=red\nbrandingEnabled=false\n", darkLog, true, true,
            "#102847");
        for (const char* logo : { "qrc:/somewhere/logo.png", "/opt/brand/logo.png", "images/logo.png" }) {
            row(logo, "[Style]\ngeneralLogoFileName=" + QByteArray(logo) + "\n", darkLog, true, true, "#102847", true,
                QString::fromLatin1(logo).replace(QRegularExpression("^images"), "FOLDER/images"));
        }
    }

    void branding()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, log);
        QFETCH(QString, logo);
        QTemporaryDir folder;
        if (!ini.isNull()) {
            writeIni(folder.path(), ini);
        }
        QTest::ignoreMessage(log.contains(QLatin1String("Version")) ? QtInfoMsg : QtWarningMsg, qPrintable(log));
        UiStyle style(folder.path(), nullptr);
        QTEST(style.brandingEnabled(), "enabled");
        QTEST(style.darkStyle(), "dark");
        QTEST(style.property("generalBackgroundColor").toString(), "background");
        QTEST(style.property("settingsPageShowLogs").toBool(), "showLogs");
        // A logo relative to the branding folder becomes a file URL that leads into it.
        logo.replace(QStringLiteral("FOLDER"), QUrl::fromLocalFile(folder.path()).toString());
        QCOMPARE(style.property("generalLogoFileName").toString(), logo);
        QVERIFY(style.dynamicPropertyNames().isEmpty());
    }

    // Each QML-visible text reads the key of its own name.
    void everyKeyCanBeReplaced()
    {
        QStringList names;
        for (int i = UiStyle::staticMetaObject.propertyOffset(); i < UiStyle::staticMetaObject.propertyCount(); ++i) {
            if (UiStyle::staticMetaObject.property(i).type() == QVariant::String) {
                names << QString::fromLatin1(UiStyle::staticMetaObject.property(i).name());
            }
        }
        QCOMPARE(names.size(), 47);
        QTemporaryDir folder;
        QByteArray ini("[Style]\n");
        for (const QString& name : names) {
            ini += name.toUtf8() + "=x-" + name.toUtf8() + "\n";
        }
        writeIni(folder.path(), ini);
        QTest::ignoreMessage(QtInfoMsg, qPrintable(darkLog));
        UiStyle style(folder.path(), nullptr);
        for (const QString& name : names) {
            QVERIFY2(style.property(qPrintable(name)).toString().endsWith("x-" + name), qPrintable(name));
        }
    }

    void defaultFolderIsBesideExecutable()
    {
        const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/branding");
        QCOMPARE(UiStyle::defaultBrandingFolder(), folder);
        QVERIFY(!QFile::exists(folder) && QDir().mkdir(folder));
        writeIni(folder, "[Main]\nversion=12\n[Style]\ngeneralSectionColor=#abcdef\n");
        QTest::ignoreMessage(QtInfoMsg, "UiStyle: Version '12', enabled: true, dark style: true");
        UiStyle style;
        QDir(folder).removeRecursively();
        QCOMPARE(style.generalSectionColor(), QStringLiteral("#abcdef"));
    }
};

QTEST_GUILESS_MAIN(TestUiStyle)
#include "tst_uistyle.moc"
