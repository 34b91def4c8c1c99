#pragma once

#include <QString>

#include <memory>

class QSettings;

// The one door to the Windows registry: every key named by its full path
// ("HKEY_CURRENT_USER\\...", "HKEY_LOCAL_MACHINE\\...") is opened here.
//
// On Windows the key is QSettings in native format. Only Windows-side code reads or writes it; its
// readers are built everywhere and tested against recorded registry data, which elsewhere a stand-in
// registry keeps, one INI file per hive in the folder standInFolder():
//     HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services  ->  <folder>/HKEY_LOCAL_MACHINE.ini,
//                                                               group "SYSTEM/CurrentControlSet/Services"
// so a subkey is a child group of its parent key, whichever of the two was opened. Unlike the real
// registry, names are case-sensitive there.
namespace Registry {

// Never null. A path outside the known hives gives settings that hold nothing and cannot be written.
std::unique_ptr<QSettings> openKey(const QString& keyPath);

#ifndef Q_OS_WIN
// "vpnclient-registry" in the user's generic data location (${XDG_DATA_HOME:-~/.local/share}).
QString standInFolder();
// The INI file of a hive such as "HKEY_CURRENT_USER"; empty for an unknown hive.
QString standInFile(const QString& hive);
#endif

} // namespace Registry
