#include "connectionview.h"

#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "servers/flagimage.h"

#include <QTime>

ConnectionView::ConnectionView(QObject* parent)
    : QObject(parent)
    , infoText(tr("Updating..."))
    , announcedDownloaded(formatByteCount(0))
    , announcedUploaded(announcedDownloaded)
{
    setObjectName(QStringLiteral("ConnectionView"));
    updateOnlineTime(0);
    secondTimer.setSingleShot(true);
    secondTimer.setTimerType(Qt::PreciseTimer);
    connect(&secondTimer, &QTimer::timeout, this, &ConnectionView::onSecond);
}

QString ConnectionView::currentIp() const
{
    return ip;
}

QString ConnectionView::currentIpInfoText() const
{
    return infoText;
}

QString ConnectionView::currentLocationImageSource() const
{
    return countryCode.isEmpty() ? QString() : Utils::flagImagePath(countryCode);
}

QString ConnectionView::downloaded() const
{
    return formatByteCount(receivedBytes);
}

QString ConnectionView::uploaded() const
{
    return formatByteCount(sentBytes);
}

QString ConnectionView::vpnOnlineTime() const
{
    return onlineTime;
}

QString ConnectionView::formatByteCount(quint64 bytes)
{
    if (bytes == 0) {
        return QStringLiteral("0");
    }
    if (bytes < (1ULL << 10)) {
        return QString::number(bytes) + QObject::tr("B");
    }
    const auto scaled = [bytes](int shift, const QString& unit) {
        return QStringLiteral("%1").arg(static_cast<double>(bytes) / static_cast<double>(1ULL << shift), 0, 'f', 1)
            + unit;
    };
    if (bytes < (1ULL << 20)) {
        return scaled(10, QObject::tr("KiB"));
    }
    if (bytes < (1ULL << 30)) {
        return scaled(20, QObject::tr("MiB"));
    }
    if (bytes < (1ULL << 40)) {
        return scaled(30, QObject::tr("GiB"));
    }
    return scaled(40, QObject::tr("TiB"));
}

void ConnectionView::showState(VpnClient::State state)
{
    switch (state) {
    case VpnClient::Disconnected:
        setInfoText(tr("Disconnected"));
        break;
    case VpnClient::Connecting:
        setInfoText(tr("Connecting..."));
        break;
    case VpnClient::Disconnecting:
        setInfoText(tr("Disconnecting..."));
        break;
    case VpnClient::Connected:
        setInfoText(tr("Connected"));
        break;
    case VpnClient::Error:
        setInfoText(tr("Error!"));
        break;
    case VpnClient::Unknown:
        setInfoText(tr("Unknown"));
        break;
    }
}

void ConnectionView::showCurrentIp(const QString& address, const QString& code)
{
    ip = address;
    countryCode = code;
    emit currentIpChanged(ip);
    emit currentLocationImageSourceChanged(Utils::flagImagePath(countryCode));
    setInfoText(Utils::isIpv4Address(ip) ? tr("Your current IP") : tr("Error"));
}

void ConnectionView::currentIpAnswered(const QString& address, const QString& code, VpnClient::State state)
{
    if (address.isEmpty() || code.isEmpty()) {
        return;
    }
    if (state == VpnClient::Connecting || state == VpnClient::Disconnecting) {
        tagged(qInfo(), QStringLiteral("VpnCore")) << "Request current IP address finished, skipping";
        return;
    }
    if (state == VpnClient::Disconnected) {
        preTunnelIp = address;
        preTunnelCountryCode = code;
    }
    showCurrentIp(address, code);
}

void ConnectionView::showPreTunnelIp()
{
    currentIpAnswered(preTunnelIp, preTunnelCountryCode, VpnClient::Disconnected);
}

void ConnectionView::clearCurrentIp()
{
    countryCode.clear();
    ip.clear();
    emit currentIpChanged(ip);
    emit currentLocationImageSourceChanged(Utils::flagImagePath(countryCode));
}

void ConnectionView::setInfoText(const QString& text)
{
    infoText = text;
    emit currentIpInfoTextChanged(infoText);
}

void ConnectionView::setByteCount(quint64 received, quint64 sent)
{
    // Shown with the next second of the online time: OpenVPN counts once a second too, but out of
    // step with it, and every change of text draws a frame of the whole window.
    receivedBytes = received;
    sentBytes = sent;
}

void ConnectionView::startOnlineTime()
{
    startTime = QDateTime::currentDateTime();
    updateOnlineTime(0);
    emit vpnOnlineTimeChanged(onlineTime);
    secondTimer.start(1000);
}

void ConnectionView::stopOnlineTime()
{
    secondTimer.stop();
    receivedBytes = 0;
    sentBytes = 0;
    announcedDownloaded = formatByteCount(0);
    announcedUploaded = announcedDownloaded;
    updateOnlineTime(0);
    emit downloadedChanged(announcedDownloaded);
    emit uploadedChanged(announcedUploaded);
    emit vpnOnlineTimeChanged(onlineTime);
}

void ConnectionView::onSecond()
{
    const qint64 elapsed = startTime.msecsTo(QDateTime::currentDateTime());
    const QString previous = onlineTime;
    updateOnlineTime(elapsed / 1000);
    if (onlineTime != previous) {
        announceOnlineTime();
    }
    // Due again when the next second begins; a tick that comes early finds the same text and waits
    // out the rest.
    secondTimer.start(1000 - static_cast<int>((elapsed % 1000 + 1000) % 1000));
}

void ConnectionView::announceOnlineTime()
{
    emit vpnOnlineTimeChanged(onlineTime);
    const QString downloadedText = downloaded();
    if (downloadedText != announcedDownloaded) {
        announcedDownloaded = downloadedText;
        emit downloadedChanged(announcedDownloaded);
    }
    const QString uploadedText = uploaded();
    if (uploadedText != announcedUploaded) {
        announcedUploaded = uploadedText;
        emit uploadedChanged(announcedUploaded);
    }
}

void ConnectionView::updateOnlineTime(qint64 seconds)
{
    if (seconds == 0) {
        onlineTime = QStringLiteral("00:00:00");
        return;
    }
    onlineTime = QTime(0, 0, 0, 0).addSecs(static_cast<qint32>(seconds)).toString(QStringLiteral("hh:mm:ss"));
}
