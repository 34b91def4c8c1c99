#pragma once

#include "openvpn/openvpnclient.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

// Gives the tests the slots through which the service link and OpenVPN drive the client.
class TestClient : public OpenVpnClient
{
public:
    using OpenVpnClient::connectToManagementInterface;
    using OpenVpnClient::onOpenVpnProcessFinished;
    using OpenVpnClient::onOpenVpnProcessStarted;
};

// Collects the client's log lines; installed for the lifetime of the object.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    int count(const QString& text) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);
    QtMessageHandler previous = nullptr;
};
