#!/usr/bin/env python3
"""Sends traffic of every kind to each target and says what came back (needs root for ICMP):

    probe.py [--kinds icmp,udp,tcp,dhcp] [--for SECONDS [--interval SECONDS]] [--timeout SECONDS] TARGET...

icmp: an echo request; udp: a DNS query to port 53; tcp: a connection to port 80; dhcp: a client's
request from port 68 to 67 (IPv4) or 546 to 547 (IPv6). A target may carry a scope ("fe80::1%eth0").
Prints one line per kind and target: "KIND TARGET answered", "... silent" or "... refused-locally"
(the local firewall dropped it). With --for it keeps sending, every 0.2 s, for that long (a
background load for a test to count at the far end), pausing --interval between rounds (0.2 s),
and prints the last round only.
"""
import argparse
import itertools
import os
import socket
import struct
import threading
import time


def address_of(target, port):
    family = socket.AF_INET6 if ":" in target else socket.AF_INET
    return family, socket.getaddrinfo(target, port, family, socket.SOCK_DGRAM)[0][4]


# Echo identifiers: one per request, so that concurrent probes never take each other's replies.
IDENTS = itertools.count(os.getpid() & 0x7FFF)


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    total = (total >> 16) + (total & 0xFFFF)
    total += total >> 16
    return ~total & 0xFFFF


def icmp(target, timeout):
    family, address = address_of(target, 0)
    v6 = family == socket.AF_INET6
    ident = next(IDENTS) & 0xFFFF
    with socket.socket(family, socket.SOCK_RAW, socket.IPPROTO_ICMPV6 if v6 else socket.IPPROTO_ICMP) as sock:
        sock.settimeout(timeout)
        header = struct.pack("!BBHHH", 128 if v6 else 8, 0, 0, ident, 1)
        payload = b"vpnc-probe"
        packet = header + payload
        if not v6:  # the kernel fills in the ICMPv6 checksum itself
            packet = struct.pack("!BBHHH", 8, 0, checksum(packet), ident, 1) + payload
        sock.sendto(packet, address)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            sock.settimeout(max(deadline - time.monotonic(), 0.01))
            data, _ = sock.recvfrom(2048)
            reply = data if v6 else data[(data[0] & 0x0F) * 4:]
            if len(reply) >= 8 and reply[0] == (129 if v6 else 0) and struct.unpack("!H", reply[4:6])[0] == ident:
                return True
    return False


def udp(target, timeout, source_port=None, port=53):
    family, address = address_of(target, port)
    with socket.socket(family, socket.SOCK_DGRAM) as sock:
        sock.settimeout(timeout)
        if source_port is not None:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            sock.bind(("::" if family == socket.AF_INET6 else "0.0.0.0", source_port))
        sock.connect(address)
        # A query for "example.": the shape a resolver sends.
        sock.send(struct.pack("!HHHHHH", 0x1234, 0x0100, 1, 0, 0, 0) + b"\x07example\x00\x00\x01\x00\x01")
        try:
            sock.recv(2048)
        except ConnectionRefusedError:  # the port unreachable answer
            pass
    return True


def dhcp(target, timeout):
    v6 = ":" in target
    return udp(target, timeout, 546 if v6 else 68, 547 if v6 else 67)


def tcp(target, timeout):
    family, address = address_of(target, 80)
    with socket.socket(family, socket.SOCK_STREAM) as sock:
        sock.settimeout(timeout)
        try:
            sock.connect(address)
        except ConnectionRefusedError:
            pass
    return True


KINDS = {"icmp": icmp, "udp": udp, "tcp": tcp, "dhcp": dhcp}


def probe(kind, target, timeout, results):
    try:
        results[(kind, target)] = "answered" if KINDS[kind](target, timeout) else "silent"
    except PermissionError:
        results[(kind, target)] = "refused-locally"
    except OSError:  # a time-out, an unreachable network
        results[(kind, target)] = "silent"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kinds", default="icmp,udp,tcp")
    parser.add_argument("--for", dest="duration", type=float, default=0)
    parser.add_argument("--timeout", type=float, default=1.0)
    parser.add_argument("--interval", type=float, default=0.2)
    parser.add_argument("targets", nargs="+")
    arguments = parser.parse_args()
    kinds = arguments.kinds.split(",")
    end = time.monotonic() + arguments.duration
    while True:
        results = {}
        threads = [threading.Thread(target=probe, args=(kind, target, arguments.timeout, results))
                   for target in arguments.targets for kind in kinds]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        if time.monotonic() >= end:
            break
        time.sleep(arguments.interval)
    for target in arguments.targets:
        for kind in kinds:
            print(kind, target, results[(kind, target)])


if __name__ == "__main__":
    main()
