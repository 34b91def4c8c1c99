#include "servicefixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>

namespace {

bool copyExecutable(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    QFile::remove(to);
    return QFile::copy(from, to)
        && QFile::setPermissions(to,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
}

} // namespace

ServiceFixture::ServiceFixture()
{
    if (!dir.isValid()) {
        return;
    }
    const QString standin = QStringLiteral(VPN_TEST_BIN_DIR "/svc_standin");
    valid = QDir().mkpath(appDir())
        && QFile::setPermissions(appDir(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther)
        && copyExecutable(QStringLiteral(VPN_APP_DIR "/vpn-service"), appDir() + QStringLiteral("/vpn-service"))
        && copyExecutable(standin, path(QStringLiteral("openvpn")))
        && copyExecutable(standin, path(QStringLiteral("killswitch")))
        && copyExecutable(standin, path(QStringLiteral("dns")));
}

ServiceFixture::~ServiceFixture()
{
    stopService();
}

bool ServiceFixture::isValid() const
{
    return valid;
}

QString ServiceFixture::appDir() const
{
    return QFileInfo(dir.path()).canonicalFilePath() + QStringLiteral("/app");
}

QString ServiceFixture::path(const QString& name) const
{
    if (name == QLatin1String("openvpn")) {
        return appDir() + QStringLiteral("/openvpn/bin/openvpn.exe");
    }
    return appDir() + QLatin1Char('/') + name + QStringLiteral(".exe");
}

QString ServiceFixture::logFilePath() const
{
    return dir.path() + QStringLiteral("/service.log");
}

bool ServiceFixture::startService(bool allowTestClient)
{
    stopService();
    service = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VPN_STANDIN_RECORD"), dir.path() + QStringLiteral("/records.txt"));
    service->setProcessEnvironment(environment);
    // The service logs to its file as well; its standard error is kept for sanitizer reports.
    service->setStandardOutputFile(QProcess::nullDevice());
    service->setStandardErrorFile(dir.path() + QStringLiteral("/service.err"), QIODevice::Append);
    QStringList arguments { QStringLiteral("--log-file"), logFilePath() };
    arguments << QStringLiteral("--allow-client")
              << (allowTestClient ? QCoreApplication::applicationFilePath() : QStringLiteral("/nonexistent/vpnclient"));
    service->start(appDir() + QStringLiteral("/vpn-service"), arguments);
    if (!service->waitForStarted(10000)) {
        return false;
    }
    // Ready once the port answers; the service listens before it enters its event loop.
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired() && service->state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), 6447);
        if (probe.waitForConnected(200)) {
            probe.abort();
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

void ServiceFixture::killService()
{
    if (service == nullptr) {
        return;
    }
    service->kill();
    service->waitForFinished(10000);
    delete service;
    service = nullptr;
}

void ServiceFixture::stopService()
{
    if (service == nullptr) {
        return;
    }
    service->terminate();
    if (!service->waitForFinished(15000)) {
        service->kill();
        service->waitForFinished(5000);
    }
    delete service;
    service = nullptr;
}

bool ServiceFixture::serviceRunning() const
{
    return service != nullptr && service->state() == QProcess::Running;
}

QStringList ServiceFixture::records() const
{
    QFile file(dir.path() + QStringLiteral("/records.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList ServiceFixture::openVpnCommand() const
{
    const QString config = dir.path() + QStringLiteral("/client.ovpn");
    const QString log = dir.path() + QStringLiteral("/openvpn.log");
    QFile file(config);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("client\r\ndev tun\r\nremote 192.0.2.1 88 udp\r\nverb 3\r\n");
    }
    QFile(log).open(QIODevice::Append);
    return { path(QStringLiteral("openvpn")), QStringLiteral("--config"), config,
        QStringLiteral("--management-query-passwords"), QStringLiteral("--log-append"), log };
}

int ServiceFixture::openVpnRuns() const
{
    return records().filter(QRegularExpression(QStringLiteral("^openvpn --config "))).size();
}

void ServiceFixture::clearRecords()
{
    QFile::remove(dir.path() + QStringLiteral("/records.txt"));
}

QString ServiceFixture::serviceLog() const
{
    QFile file(logFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

QString ServiceFixture::sanitizerReport() const
{
    QFile file(dir.path() + QStringLiteral("/service.err"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    const QString text = QString::fromUtf8(file.readAll());
    for (const char* mark : { "AddressSanitizer", "runtime error:", "LeakSanitizer" }) {
        const int at = text.indexOf(QLatin1String(mark));
        if (at >= 0) {
            return text.mid(qMax(0, at - 200), 3000);
        }
    }
    return {};
}
