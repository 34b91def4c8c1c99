#pragma once

#include "openvpn/vpnclient.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

// What the main window shows about the tunnel: the current IP with its flag and a line about it, the
// online time and the traffic counters. The connection controller tells it what happened; the texts
// and their timing are decided here.
class ConnectionView : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString currentIp READ currentIp NOTIFY currentIpChanged)
    Q_PROPERTY(QString currentIpInfoText READ currentIpInfoText NOTIFY currentIpInfoTextChanged)
    Q_PROPERTY(
        QString currentLocationImageSource READ currentLocationImageSource NOTIFY currentLocationImageSourceChanged)
    // The counters as OpenVPN last reported them; announced with the next second of the online time.
    Q_PROPERTY(QString downloaded READ downloaded NOTIFY downloadedChanged)
    Q_PROPERTY(QString uploaded READ uploaded NOTIFY uploadedChanged)
    Q_PROPERTY(QString vpnOnlineTime READ vpnOnlineTime NOTIFY vpnOnlineTimeChanged)

public:
    explicit ConnectionView(QObject* parent = nullptr);

    QString currentIp() const;
    QString currentIpInfoText() const;
    QString currentLocationImageSource() const;
    QString downloaded() const;
    QString uploaded() const;
    QString vpnOnlineTime() const;

    static QString formatByteCount(quint64 bytes);

    // The line under the address says the tunnel's state.
    void showState(VpnClient::State state);
    // The address the provider sees, and its country.
    void showCurrentIp(const QString& ip, const QString& countryCode);
    // A request for the current IP answered, in the tunnel's state then: ignored while the tunnel comes
    // up or goes down; while it is down, also the address shown again when a tunnel ends.
    void currentIpAnswered(const QString& ip, const QString& countryCode, VpnClient::State state);
    // A tunnel ended: the address seen before it, at once.
    void showPreTunnelIp();
    void clearCurrentIp();
    void setByteCount(quint64 received, quint64 sent);
    // The tunnel came up: the online time counts from zero.
    void startOnlineTime();
    // The tunnel is down: the time and the counters are back at zero, and shown so.
    void stopOnlineTime();
    void updateOnlineTime(qint64 seconds);

signals:
    void currentIpChanged(QString ip);
    void currentIpInfoTextChanged(QString text);
    void currentLocationImageSourceChanged(QString imageSource);
    void downloadedChanged(QString downloaded);
    void uploadedChanged(QString uploaded);
    void vpnOnlineTimeChanged(QString time);

private:
    void setInfoText(const QString& text);
    void onSecond();
    // The online time, and with it the traffic counters whose text changed.
    void announceOnlineTime();

    QString ip;
    QString countryCode;
    QString preTunnelIp;
    QString preTunnelCountryCode;
    QString infoText;
    QString onlineTime;
    QDateTime startTime;
    // Due when the online time's next second begins.
    QTimer secondTimer;
    quint64 receivedBytes = 0;
    quint64 sentBytes = 0;
    // The counters as last announced: they change with the online time, in the same frame.
    QString announcedDownloaded;
    QString announcedUploaded;
};
