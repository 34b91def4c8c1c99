#pragma once

#include "protocol/remoteprotocol.h"

#include <QString>
#include <QStringList>

// What the user asked for on the command line: the request for the client and how to show its
// answer. Nothing here decides anything about the connection.
struct Invocation
{
    enum class Kind
    {
        Request,
        Help,
        // Bad usage: message says what is wrong.
        Usage,
        // A password could not be read.
        Failed
    };

    Kind kind = Kind::Usage;
    RemoteProtocol::Request request;
    bool json = false;
    QString message;

    // arguments: the program's, its name first. The account's password comes from standard input.
    static Invocation parse(const QStringList& arguments);
    static QString usage();
};
