#pragma once

#include "protocol/serviceprotocol.h"

#include <QString>
#include <QStringList>

// One command of the client, as it arrives in one text message.
struct Command
{
    enum Kind
    {
        Invalid,
        Init, // "init: connection"
        Start, // "start: " followed by double-quoted program path and arguments
        StopOpenVpn, // "stop: <openvpn>"
        KillOpenVpn, // "start: <kill openvpn>"
        QueryTun, // "query: tun", answered "tun:available" or "tun:unavailable,REASON"
        Lockdown, // "lockdown: off", or "lockdown: on" [" local"] followed by " ADDRESS" for each VPN server
        QueryLog // "query: log", answered with the asking user's own recent log lines
    };

    Kind kind = Invalid;
    // Start: the program path first, then its arguments. Lockdown: the VPN servers' addresses.
    QStringList arguments;
    // Lockdown: turned on, and the local network reachable through it.
    bool on = false;
    bool allowLocal = false;
    // Invalid: why the text was refused.
    QString error;

    // Strict: anything that is not exactly one of the forms above is Invalid.
    static Command parse(const QString& text);

    static constexpr int maxLength = ServiceProtocol::maxCommandLength;
};
