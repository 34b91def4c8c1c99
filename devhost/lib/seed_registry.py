#!/usr/bin/env python3
"""Seeds the stand-in registry with this network namespace's adapters, the way Windows lists
network connections: the adapter class entries (TUN/TAP interfaces with the VPN driver's device id
"tap0901"), the network connection names, and the TCP/IP interface keys with their static DNS
servers (taken from the resolver configuration). The kernel debug adapter is there too, as on
Windows. Safe to run again: generated entries are rewritten, DNS servers already recorded are kept."""

import ipaddress
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))
import standin_host  # noqa: E402
import standin_registry  # noqa: E402

NET_CLASS = "{4D36E972-E325-11CE-BFC1-08002BE10318}"
CLASS_KEY = "SYSTEM/CurrentControlSet/Control/Class/" + NET_CLASS
NETWORK_KEY = "SYSTEM/CurrentControlSet/Control/Network/" + NET_CLASS
TCPIP_KEYS = {4: "SYSTEM/CurrentControlSet/Services/Tcpip/Parameters/Interfaces",
              6: "SYSTEM/CurrentControlSet/Services/Tcpip6/Parameters/Interfaces"}
KDNIC_GUID = "{2E6A0F4B-1B2C-4C3D-8E9F-0A1B2C3D4E5F}"


def resolver_servers(path="/etc/resolv.conf"):
    found = {4: [], 6: []}
    try:
        with open(path) as f:
            for line in f:
                fields = line.split()
                if len(fields) >= 2 and fields[0] == "nameserver":
                    try:
                        found[ipaddress.ip_address(fields[1].split("%")[0]).version].append(fields[1])
                    except ValueError:
                        pass
    except OSError:
        pass
    return found


def adapters():
    """(guid, description, device id, connection name, PnP instance id, uplink) per adapter."""
    entries = [(KDNIC_GUID, "Microsoft Kernel Debug Network Adapter", "root\\kdnic", "Ethernet (Kernel Debugger)",
                "ROOT\\KDNIC\\0000", False)]
    counters = {"tap": 0, "ethernet": 0, "tunnel": 0}
    for iface in standin_host.interfaces():
        if iface.is_loopback:
            continue
        n = counters[iface.kind]
        counters[iface.kind] = n + 1
        suffix = "" if n == 0 else " %d" % (n + 1)
        if iface.kind == "tap":
            entries.append((iface.guid, iface.description, standin_host.TAP_DEVICE_ID,
                            "Local Area Connection" + suffix, "ROOT\\NET\\%04d" % n, False))
        elif iface.kind == "ethernet":
            entries.append((iface.guid, iface.description, "pci\\ven_8086&dev_100e", "Ethernet" + suffix,
                            "PCI\\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02\\3&267A616A&0&%02X" % (0x18 + n), True))
        else:
            entries.append((iface.guid, iface.description, "*isatap", "isatap" + suffix,
                            "ROOT\\*ISATAP\\%04d" % n, False))
    return entries


def main():
    hive = standin_registry.Hive("HKEY_LOCAL_MACHINE")
    hive.delete_key(CLASS_KEY)
    hive.delete_key(NETWORK_KEY)
    servers = resolver_servers()
    for number, (guid, description, device_id, name, instance, uplink) in enumerate(adapters()):
        adapter = "%s/%04d" % (CLASS_KEY, number)
        hive.set(adapter, "DriverDesc", description)
        hive.set(adapter, "MatchingDeviceId", device_id)
        hive.set(adapter, "ComponentId", device_id)
        hive.set(adapter, "NetCfgInstanceId", guid)
        connection = "%s/%s/Connection" % (NETWORK_KEY, guid)
        hive.set(connection, "Name", name)
        hive.set(connection, "PnPInstanceId", instance)
        for family, key in TCPIP_KEYS.items():
            interface = "%s/%s" % (key, guid)
            if hive.get(interface, "NameServer") is None:
                hive.set(interface, "NameServer", ",".join(servers[family]) if uplink else "")
    hive.save()
    print("stand-in registry: %s" % hive.path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
