#pragma once

#include "protocol/remoteprotocol.h"

#include <QJsonObject>
#include <QString>

// The client's answer as the user reads it; the figures and words are the client's own.
namespace Output {

// What goes to standard output for a reply that is done.
QString text(RemoteProtocol::Word word, const QJsonObject& reply);

} // namespace Output
