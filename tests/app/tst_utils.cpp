#include "app/utils.h"

#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

class TestUtils : public QObject
{
    Q_OBJECT

private slots:
    void flagImagePath_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("path");
        QTest::newRow("upper") << "US"
                               << "qrc:/resources/icons/flags/us.png";
        QTest::newRow("lower") << "us"
                               << "qrc:/resources/icons/flags/us.png";
        QTest::newRow("mixed") << "gB"
                               << "qrc:/resources/icons/flags/gb.png";
        QTest::newRow("empty") << ""
                               << "qrc:/resources/icons/flags/.png";
    }
    void flagImagePath()
    {
        QFETCH(QString, code);
        QFETCH(QString, path);
        QCOMPARE(Utils::flagImagePath(code), path);
    }

    void addressKinds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("v4");
        QTest::addColumn<bool>("v6");
        QTest::newRow("tunnel v4") << "10.8.0.1" << true << false;
        QTest::newRow("any") << "0.0.0.0" << true << false;
        QTest::newRow("v6") << "fd00:8::1" << false << true;
        QTest::newRow("v6 mapped") << "::ffff:10.8.0.1" << false << true;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("host name") << "vpn.example.com" << false << false;
        QTest::newRow("out of range") << "10.8.0.256" << false << false;
        QTest::newRow("padded") << " 10.8.0.1 " << true << false;
    }
    void addressKinds()
    {
        QFETCH(QString, text);
        QFETCH(bool, v4);
        QFETCH(bool, v6);
        QCOMPARE(Utils::isIpv4Address(text), v4);
        QCOMPARE(Utils::isIpv6Address(text), v6);
    }

    void textHelpers()
    {
        QCOMPARE(Utils::quoted(QStringLiteral("a b")), QStringLiteral("\"a b\""));
        QCOMPARE(Utils::quoted(QStringLiteral("\"x\"")), QStringLiteral("\"\"x\"\""));
        QCOMPARE(Utils::boolToString(true), QStringLiteral("true"));
        QCOMPARE(Utils::boolToString(false), QStringLiteral("false"));
        QCOMPARE(Utils::anyAddress(), QStringLiteral("0.0.0.0"));
    }

    void createEmptyFileTruncates()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run-vpn.log"));
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("old OpenVPN output\n");
        existing.close();

        Utils::createEmptyFile(path);
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(QFileInfo(path).size(), qint64(0));

        const QString fresh = dir.filePath(QStringLiteral("fresh.log"));
        Utils::createEmptyFile(fresh);
        QVERIFY(QFileInfo::exists(fresh));

        const QString unreachable = dir.filePath(QStringLiteral("missing/dir/x.log"));
        QTest::ignoreMessage(
            QtWarningMsg, qPrintable(QStringLiteral("Utils: Cannot create empty file '%1'").arg(unreachable)));
        Utils::createEmptyFile(unreachable);
        QVERIFY(!QFileInfo::exists(unreachable));
    }

    void localTemporaryFileOfResource()
    {
        const QString resource = QStringLiteral(":/qtquickcontrols2.conf");
        QFile original(resource);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray content = original.readAll();

        QString diskPath;
        {
            std::unique_ptr<QTemporaryFile> copy(Utils::createLocalTemporaryFile(resource));
            QVERIFY(copy);
            diskPath = copy->fileName();
            QVERIFY(!diskPath.startsWith(QLatin1Char(':')));
            QFile onDisk(diskPath);
            QVERIFY(onDisk.open(QIODevice::ReadOnly));
            QCOMPARE(onDisk.readAll(), content);
        }
        QVERIFY2(!QFileInfo::exists(diskPath), "the copy goes with its owner");
    }

    void localTemporaryFileFailures()
    {
        const QString missing = QStringLiteral(":/no/such/template.ovpn");
        QTest::ignoreMessage(QtCriticalMsg,
            qPrintable(QStringLiteral("Utils: Cannot read local temporary file for path '%1'").arg(missing)));
        QVERIFY(Utils::createLocalTemporaryFile(missing) == nullptr);

        // A file already on disk gets no copy.
        QTemporaryFile disk;
        QVERIFY(disk.open());
        QTest::ignoreMessage(QtCriticalMsg,
            qPrintable(QStringLiteral("Utils: Cannot create local temporary file for path '%1'").arg(disk.fileName())));
        QVERIFY(Utils::createLocalTemporaryFile(disk.fileName()) == nullptr);
    }
};

QTEST_GUILESS_MAIN(TestUtils)
#include "tst_utils.moc"
