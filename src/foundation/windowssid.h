#pragma once

// The text form of a Windows security identifier ("S-1-5-18"), for the doors that read tokens and
// access lists (the socket's owner, the service's peers and files). Windows only.
#include <QtGlobal>

#ifdef Q_OS_WIN

#include <QString>

namespace WindowsSid {

// Empty for a null identifier or one the system cannot write out.
QString text(void* sid);
// The identifier of the user the process (a handle with query rights) runs as; empty when unknown.
QString userOf(void* process);

} // namespace WindowsSid

#endif
