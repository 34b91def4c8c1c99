#include "ui/uistyle.h"

#include <QCoreApplication>
#include <QDir>
#include <QMetaProperty>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

// The look: the built-in sets and their recolouring by a branding.ini.
class TestUiStyle : public QObject
{
    Q_OBJECT

private slots:
    void branding_data()
    {
        // Each case names the log line and the outcome in its first lines; *.ini ones are the branding.ini.
        QTest::addColumn<QString>("path");
        for (const QFileInfo& file :
            QDir(QStringLiteral(VPN_TEST_DATA_DIR "/ui/branding")).entryInfoList(QDir::Files)) {
            QTest::newRow(qPrintable(file.baseName())) << file.filePath();
        }
    }

    void branding()
    {
        QFETCH(QString, path);
        QTemporaryDir folder;
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString log = QString::fromUtf8(file.readLine().mid(7).trimmed());
        const QString expected = QString::fromUtf8(file.readLine().mid(10).trimmed());
        QVERIFY(!path.endsWith(".ini") || file.copy(folder.filePath(QStringLiteral("branding.ini"))));
        QTest::ignoreMessage(log.contains(QLatin1String("Version")) ? QtInfoMsg : QtWarningMsg, qPrintable(log));
        UiStyle style(folder.path(), nullptr);
        QVERIFY(style.dynamicPropertyNames().isEmpty());
        // A logo relative to the branding folder becomes a file URL that leads into it.
        QCOMPARE(QStringList({ QVariant(style.brandingEnabled()).toString(), QVariant(style.darkStyle()).toString(),
                                 style.generalBackgroundColor(), QVariant(style.settingsPageShowLogs()).toString(),
                                 style.generalLogoFileName() })
                     .join(' '),
            QString(expected).replace("FOLDER", QUrl::fromLocalFile(folder.path()).toString()));
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
        QFile file(folder + QStringLiteral("/branding.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
        file.close();
        QTest::ignoreMessage(QtInfoMsg, "UiStyle: Version '0', enabled: true, dark style: true");
        UiStyle style;
        QDir(folder).removeRecursively();
        QVERIFY(!names.isEmpty());
        for (const QString& name : names) {
            QVERIFY2(style.property(qPrintable(name)).toString().endsWith("x-" + name), qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestUiStyle)
#include "tst_uistyle.moc"
