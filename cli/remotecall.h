#pragma once

#include "protocol/remoteprotocol.h"

#include <QJsonObject>
#include <QString>

// One request to the running client over its local socket and its one reply, every wait bounded.
// When no client runs, a connect starts one in the notification area and waits for its socket.
class RemoteCall
{
public:
    // The reply; a failure of the call itself (no client, a client that stopped, no answer in time)
    // comes back as a reply of its own with the matching result.
    static QJsonObject run(const RemoteProtocol::Request& request);

    static constexpr int connectMs = 2000;
    static constexpr int clientStartMs = 30 * 1000;
    // How long the client may take to answer: longer than its own bound of the wait.
    static int answerMs(RemoteProtocol::Word word);
};
