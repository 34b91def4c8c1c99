#pragma once

#include "platform/programpaths.h"

#include <QStringList>

// The programs a tunnel needs beside the client: OpenVPN, and the service's tools for the network
// lock (and the tunnel's guard) and for the resolvers. The service runs them; an installation that
// lacks one, or cannot run it, is told before a connection is tried, so that no tunnel comes up
// without the guard and the lock it would claim.
class Installation
{
public:
    explicit Installation(const ProgramPaths::Paths& paths = ProgramPaths::current());

    // What is missing or cannot be run, each named with its path; empty when all is in place.
    QStringList brokenPieces() const;

private:
    ProgramPaths::Paths paths;
};
