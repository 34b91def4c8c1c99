"""The host's network interfaces as the Windows stand-ins show them.

TUN/TAP interfaces are the VPN driver's adapters: "TAP-Windows Adapter V9", then " #2", " #3"
and so on in interface index order. Every interface keeps its real interface index.
"""

import hashlib
import json
import subprocess
import uuid

TAP_DESCRIPTION = "TAP-Windows Adapter V9"
ETHERNET_DESCRIPTION = "Intel(R) PRO/1000 MT Desktop Adapter"
TUNNEL_DESCRIPTION = "Microsoft ISATAP Adapter"
LOOPBACK_DESCRIPTION = "Software Loopback Interface 1"
TAP_DEVICE_ID = "tap0901"


def _links():
    """This network namespace's links, asked over netlink (/sys can belong to another namespace)."""
    try:
        out = subprocess.run(["ip", "-j", "-d", "link", "show"], capture_output=True, text=True, timeout=10).stdout
        return json.loads(out or "[]")
    except (OSError, subprocess.SubprocessError, ValueError):
        return []


def _numbered(description, n):
    return description if n == 1 else "%s #%d" % (description, n)


class Interface:
    def __init__(self, link):
        self.name = link.get("ifname", "")
        self.index = int(link.get("ifindex", 0))
        self.is_tap = link.get("linkinfo", {}).get("info_kind") == "tun"
        self.is_loopback = link.get("link_type") == "loopback"
        parts = link.get("address", "").split(":") if link.get("link_type") == "ether" else []
        self.mac = [int(p, 16) for p in parts] if len(parts) == 6 else None
        if self.is_tap and self.mac is None:
            # A TUN device has no MAC address; TAP-Windows adapters have one starting with 00 ff.
            digest = hashlib.sha1(self.name.encode()).digest()
            self.mac = [0x00, 0xFF] + list(digest[:4])
        self.description = ""
        self.guid = "{%s}" % str(uuid.uuid5(uuid.NAMESPACE_URL, "vpnc-devhost:" + self.name)).upper()

    @property
    def kind(self):
        if self.is_loopback:
            return "loopback"
        if self.is_tap:
            return "tap"
        return "ethernet" if self.mac else "tunnel"


def interfaces():
    """All interfaces of this network namespace, in index order, with their Windows descriptions."""
    found = [i for i in (Interface(link) for link in _links()) if i.index > 0 and i.name]
    found.sort(key=lambda i: i.index)
    counters = {}
    base = {"tap": TAP_DESCRIPTION, "ethernet": ETHERNET_DESCRIPTION, "tunnel": TUNNEL_DESCRIPTION}
    for iface in found:
        if iface.is_loopback:
            iface.description = LOOPBACK_DESCRIPTION
            continue
        counters[iface.kind] = counters.get(iface.kind, 0) + 1
        iface.description = _numbered(base[iface.kind], counters[iface.kind])
    return found


def by_index(index):
    for iface in interfaces():
        if iface.index == index:
            return iface
    return None
