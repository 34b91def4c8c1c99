#pragma once
// Shared by the OpenVPN tests: the client's protected slots, a log capture, state texts, and a
// real vpn-service copied beside the test (the client looks for OpenVPN in its application folder).
#include "openvpn/openvpnclient.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

class TestClient : public OpenVpnClient
{
public:
    using OpenVpnClient::connectToManagementInterface;
    using OpenVpnClient::onOpenVpnProcessFinished;
    using OpenVpnClient::onOpenVpnProcessStarted;
};

// Collects log lines ("type<TAB>message") while it lives.
class LogCapture
{
public:
    LogCapture()
        : previous(qInstallMessageHandler(&handler))
    {
        clear();
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
    }
    QStringList lines() const
    {
        QMutexLocker lock(&mutex);
        return captured;
    }
    int count(const QString& text) const
    {
        return lines().filter(text).size();
    }
    void clear()
    {
        QMutexLocker lock(&mutex);
        captured.clear();
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext&, const QString& message)
    {
        static const char* const names[] = { "debug", "warning", "critical", "fatal", "info" };
        QMutexLocker lock(&mutex);
        captured << QLatin1String(names[type]) + QLatin1Char('\t') + message;
    }
    static inline QMutex mutex;
    static inline QStringList captured;
    QtMessageHandler previous;
};

// "Name 'additional data' critical" for each stateChanged emission.
inline QStringList stateTexts(const QSignalSpy& spy)
{
    QStringList result;
    for (const QList<QVariant>& e : spy) {
        result << QStringLiteral("%1 '%2' %3")
                      .arg(VpnClient::stateName(e.at(0).toInt(), false), e.at(1).toString(),
                          e.at(2).toBool() ? QStringLiteral("critical") : QString())
                      .trimmed();
    }
    return result;
}

class ServiceFixture
{
public:
    ~ServiceFixture()
    {
        service.terminate();
        if (!service.waitForFinished(10000)) {
            service.kill();
            service.waitForFinished(2000);
        }
    }
    static QString openVpnFolder()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/openvpn/bin");
    }
    // Copies the service and the given OpenVPN program in place and starts the service; gives an error text.
    QString start(const QString& openVpnProgram)
    {
        const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/vpn-service");
        QDir().mkpath(openVpnFolder());
        for (const auto& [from, to] : { std::pair { QStringLiteral(VPN_APP_DIR "/vpn-service"), program },
                 std::pair { openVpnProgram, openVpnFolder() + QStringLiteral("/openvpn.exe") } }) {
            QFile::remove(to);
            if (!QFile::copy(from, to)) {
                return QStringLiteral("cannot copy ") + from;
            }
        }
        service.setProcessChannelMode(QProcess::ForwardedChannels);
        service.start(program,
            { QStringLiteral("--allow-client"), QCoreApplication::applicationFilePath(), QStringLiteral("--log-file"),
                logDir.filePath(QStringLiteral("service.log")) });
        for (int i = 0; i < 100 && service.waitForStarted(5000); ++i) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), 6447);
            if (probe.waitForConnected(100)) {
                return QString();
            }
            QThread::msleep(50);
        }
        return QStringLiteral("vpn-service does not listen on 6447");
    }
    QString log() const
    {
        QFile file(logDir.filePath(QStringLiteral("service.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    QTemporaryDir logDir;
    QProcess service;
};
