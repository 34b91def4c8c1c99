#pragma once
// A real vpn-service copied beside the test, with the system's OpenVPN or a stand-in put over it,
// and the client's service link connected to it; the client's log lines captured.
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
    // Where a stand-in keeps its files.
    static QString openVpnFolder()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/openvpn");
    }
    // Puts the service in place, and a stand-in over the system's OpenVPN unless openVpnProgram is that
    // one (needs root: see servicekit::isolateMounts), starts the service and connects to it; the
    // client's log files (and OpenVPN's) go to a private folder.
    void start(const QString& openVpnProgram, QObject* owner, ServiceController** controller)
    {
        qputenv("XDG_DATA_HOME", folder.path().toUtf8());
        Logger::instance();
        testlog::capture(); // after the logger's own handler
        QDir().mkpath(openVpnFolder());
        const QString standIn = openVpnFolder() + QStringLiteral("/openvpn");
        QFile::remove(program());
        QFile::remove(standIn);
        QVERIFY(QFile::copy(QStringLiteral(VPN_APP_DIR "/vpn-service"), program()));
        if (openVpnProgram != QLatin1String(ProgramConfig::openVpnProgram)
            && !(QFile::copy(openVpnProgram, standIn) && servicekit::placeOpenVpn(standIn))) {
            QSKIP("needs root for a mount namespace with the OpenVPN stand-in");
        }
        qputenv("FAKE_OPENVPN_DIR", openVpnFolder().toUtf8());
        service.setProcessChannelMode(QProcess::ForwardedChannels);
        service.start(program(),
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
    static QString program()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/vpn-service");
    }
    QTemporaryDir folder;
    QProcess service;
};
