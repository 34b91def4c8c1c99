// Network connections in the stand-in registry, as the Windows side of the user's resolvers reads
// them (wmic reporting the GUIDs of the adapters present).
#pragma once

#include "platform/registry.h"

#include <QDir>
#include <QSettings>

namespace registryseed {

inline QString guid(int i) // {1A000000-0000-0000-0000-00000000000A}, {2B...B}, ...
{
    return "{" + QString::number(i + 1) + QChar('A' + i) + "000000-0000-0000-0000-00000000000" + QChar('A' + i) + "}";
}

// Rows "name|PnP instance|IPv4 NameServer|IPv6 NameServer|device id|present or absent adapter" for
// GUIDs A, B, ...; "-" leaves a value out, "x" the whole key.
inline void seed(const QStringList& rows)
{
    const QString hklm = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\",
                  net = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
    QDir(Registry::standInFolder()).removeRecursively();
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList f = rows.at(i).split('|');
        const auto set = [](const QString& key, const QString& name, const QString& value) {
            if (value != "x") {
                Registry::openKey(key)->setValue(
                    value == "-" ? "EnableDHCP" : name, value == "-" ? QVariant(1) : value);
            }
        };
        if (f.at(5) == "present") { // wmic reports the GUIDs of the adapter entries
            set(hklm + "Control\\Class\\" + net + QString::asprintf("\\%04d", i), "MatchingDeviceId", f.at(4));
            set(hklm + "Control\\Class\\" + net + QString::asprintf("\\%04d", i), "NetCfgInstanceId", guid(i));
        }
        set(hklm + "Control\\Network\\" + net + "\\" + guid(i) + "\\Connection", "Name", f.at(0));
        set(hklm + "Control\\Network\\" + net + "\\" + guid(i) + "\\Connection", "PnPInstanceId", f.at(1));
        set(hklm + "Services\\Tcpip\\Parameters\\Interfaces\\" + guid(i), "NameServer", f.at(2));
        set(hklm + "Services\\Tcpip6\\Parameters\\Interfaces\\" + guid(i), "NameServer", f.at(3));
    }
}

} // namespace registryseed
