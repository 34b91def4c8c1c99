#include "servicefixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QThread>

namespace {

bool copyOver(const QString& from, const QString& to, QString* error)
{
    QFile::remove(to);
    if (!QFile::copy(from, to)) {
        *error = QStringLiteral("cannot copy %1 to %2").arg(from, to);
        return false;
    }
    return true;
}

} // namespace

ServiceFixture::~ServiceFixture()
{
    stop();
}

QString ServiceFixture::openVpnFolder() const
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/openvpn/bin");
}

bool ServiceFixture::start(const QString& openVpnProgram, QString* error)
{
    const QString folder = QCoreApplication::applicationDirPath();
    const QString serviceProgram = folder + QStringLiteral("/vpn-service");
    if (!copyOver(QStringLiteral(VPN_APP_DIR "/vpn-service"), serviceProgram, error)) {
        return false;
    }
    QDir().mkpath(openVpnFolder());
    if (!copyOver(openVpnProgram, openVpnFolder() + QStringLiteral("/openvpn.exe"), error)) {
        return false;
    }

    service = std::make_unique<QProcess>();
    service->setProcessChannelMode(QProcess::ForwardedChannels);
    service->start(serviceProgram,
        { QStringLiteral("--allow-client"), QCoreApplication::applicationFilePath(), QStringLiteral("--log-file"),
            logDir.filePath(QStringLiteral("service.log")) });
    if (!service->waitForStarted(5000)) {
        *error = QStringLiteral("vpn-service does not start: ") + service->errorString();
        return false;
    }
    for (int i = 0; i < 100; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), 6447);
        if (probe.waitForConnected(100)) {
            return true;
        }
        if (service->state() == QProcess::NotRunning) {
            break;
        }
        QThread::msleep(50);
    }
    *error = QStringLiteral("vpn-service does not listen on 6447");
    return false;
}

void ServiceFixture::stop()
{
    if (service && service->state() != QProcess::NotRunning) {
        service->terminate();
        if (!service->waitForFinished(10000)) {
            service->kill();
            service->waitForFinished(2000);
        }
    }
    service.reset();
}

QString ServiceFixture::log() const
{
    QFile file(logDir.filePath(QStringLiteral("service.log")));
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}
