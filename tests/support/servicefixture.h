#pragma once
// A real vpn-service copied beside the test, running the system's OpenVPN, and the client's service
// link connected to it; the client's log lines captured.
#include "foundation/logger.h"
#include "logcapture.h"
#include "service/servicecontroller.h"
#include "servicekit.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

class ServiceFixture
{
public:
    // Ends the service as a system shutdown would; it ends the programs it runs.
    ~ServiceFixture()
    {
        service.terminate();
        service.waitForFinished(10000);
    }
    // Puts the service in place, starts it and connects to it; the client's log files (and OpenVPN's)
    // go to a private folder.
    void start(QObject* owner, ServiceController** controller)
    {
        qputenv("XDG_DATA_HOME", folder.path().toUtf8());
        Logger::instance();
        testlog::capture(); // after the logger's own handler
        const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/vpn-service");
        QFile::remove(program);
        QVERIFY(QFile::copy(QStringLiteral(VPN_APP_DIR "/vpn-service"), program));
        service.setProcessChannelMode(QProcess::ForwardedChannels);
        service.start(program,
            { QStringLiteral("--log-file"), logFilePath(), QStringLiteral("--state-dir"), logFilePath() + ".state" });
        *controller = new ServiceController(owner);
        QSignalSpy connected(*controller, &ServiceController::connected);
        QVERIFY(connected.wait(10000));
    }

    QString logFilePath() const
    {
        return folder.filePath(QStringLiteral("service.log"));
    }

private:
    QTemporaryDir folder;
    QProcess service;
};
