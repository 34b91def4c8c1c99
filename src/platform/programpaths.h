#pragma once

#include <QString>
#include <QStringList>

// Where the three programs that the service runs for the client are, and how OpenVPN is started.
// The client names a program by its path and the service runs nothing else, so both take the paths
// from here and always agree.
//   Windows: <folder>/openvpn/bin/openvpn.exe (the bundled OpenVPN), <folder>/killswitch.exe,
//            <folder>/dns.exe.
//   Linux:   the system's OpenVPN (VPN_OPENVPN_PROGRAM), <folder>/killswitch, <folder>/dns.
// <folder> is VPN_PROGRAM_DIR, or the folder of the running executable when that is empty.
namespace ProgramPaths {

enum class System
{
    Windows,
    Linux
};

struct Paths
{
    QString openVpn;
    QString killSwitch;
    QString dns;
    // The folder of the service and the two tools.
    QString folder;
};

// The paths on that system for a folder (forward slashes) and the system's OpenVPN (Linux only).
Paths forSystem(System system, const QString& folder, const QString& openVpnProgram);
// OpenVPN's whole command line around the service's own arguments. Linux OpenVPN refuses the
// Windows-only directives of the client's configuration unless they are named as ignorable first.
QStringList openVpnArguments(System system, const QStringList& serviceArguments);

System currentSystem();
// The paths of this build on this system.
Paths current();
QString openVpn();
QString killSwitch();
QString dns();

} // namespace ProgramPaths
