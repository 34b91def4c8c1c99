#include "settings/uistyle.h"

#include <QMetaProperty>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

const char* const darkLog = "UiStyle: Version '0', enabled: true, dark style: true";

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
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("expected"); // enabled, dark style, background, show logs, logo
        const QString dark = QStringLiteral("true true #102847 true ");
        const QString logo = QStringLiteral("qrc:/resources/icons/vpn.png");
        QTest::newRow("no file") << QByteArray() << "UiStyle: Branding file does not exists!"
                                 << "true false #f6f7f9 true " + logo;
        QTest::newRow("only Main, enabled: dark set")
            << QByteArray("[Main]\nbrandingEnabled=true\n") << darkLog << dark + logo;
        QTest::newRow("disabled: darkStyle not read")
            << QByteArray("[Main]\nversion=7\nbrandingEnabled=false\ndarkStyle=true\n")
            << "UiStyle: Branding style is not enabled!"
            << "false false #f6f7f9 true " + logo;
        QTest::newRow("light, one colour replaced, showLogs TRUE, relative logo")
            << QByteArray("[Main]\nversion=3\ndarkStyle=false\n[Style]\ngeneralBackgroundColor=#123456\n"
                          "settingsPageShowLogs=TRUE\ngeneralLogoFileName=images/logo.png\n")
            << "UiStyle: Version '3', enabled: true, dark style: false"
            << "true false #123456 true FOLDER/images/logo.png";
        QTest::newRow("malformed") << QByteArray("\x01\x02garbage\n=\n[[[\n") << darkLog << dark + logo;
        QTest::newRow("showLogs yes, unknown key, qrc logo")
            << QByteArray("[Style]\nsettingsPageShowLogs=yes\nbrandingEnabled=false\ngeneralLogoFileName=qrc:/a.png\n")
            << darkLog << "true true #102847 false qrc:/a.png";
        QTest::newRow("absolute logo") << QByteArray("[Style]\ngeneralLogoFileName=/opt/logo.png\n") << darkLog
                                       << dark + "/opt/logo.png";
    }

    void branding()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, log);
        QFETCH(QString, expected);
        QTemporaryDir folder;
        if (!ini.isNull()) {
            writeIni(folder.path(), ini);
        }
        QTest::ignoreMessage(log.contains(QLatin1String("Version")) ? QtInfoMsg : QtWarningMsg, qPrintable(log));
        UiStyle style(folder.path(), nullptr);
        QVERIFY(style.dynamicPropertyNames().isEmpty());
        // A logo relative to the branding folder becomes a file URL that leads into it.
        QCOMPARE(QStringList({ QVariant(style.brandingEnabled()).toString(), QVariant(style.darkStyle()).toString(),
                                 style.generalBackgroundColor(), QVariant(style.settingsPageShowLogs()).toString(),
                                 style.generalLogoFileName() })
                     .join(' '),
            expected.replace("FOLDER", QUrl::fromLocalFile(folder.path()).toString()));
    }

    // branding.ini beside the executable; each QML-visible text reads the key of its own name.
    void everyKeyFromDefaultFolder()
    {
        const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/branding");
        QCOMPARE(UiStyle::defaultBrandingFolder(), folder);
        QVERIFY(!QFile::exists(folder) && QDir().mkdir(folder));
        QByteArray ini("[Style]\n");
        QStringList names;
        for (int i = UiStyle::staticMetaObject.propertyOffset(); i < UiStyle::staticMetaObject.propertyCount(); ++i) {
            if (UiStyle::staticMetaObject.property(i).type() == QVariant::String) {
                names << UiStyle::staticMetaObject.property(i).name();
                ini += names.last().toUtf8() + "=x-" + names.last().toUtf8() + "\n";
            }
        }
        writeIni(folder, ini);
        QTest::ignoreMessage(QtInfoMsg, darkLog);
        UiStyle style;
        QDir(folder).removeRecursively();
        QCOMPARE(names.size(), 47);
        for (const QString& name : names) {
            QVERIFY2(style.property(qPrintable(name)).toString().endsWith("x-" + name), qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestUiStyle)
#include "tst_uistyle.moc"
