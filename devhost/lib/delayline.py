#!/usr/bin/env python3
"""A network cable with a length: delayline.py NEAR_NS FAR_NS NEAR_IF FAR_IF DELAY_MS

Joins two network namespaces with a TUN device in each (NEAR_IF in NEAR_NS, FAR_IF in FAR_NS) and
carries every IP packet across after half of DELAY_MS, each way, so that a round trip through it
takes DELAY_MS longer. The development host's far VPN servers hang on such cables; the kernel's
netem is not everywhere. Run inside NEAR_NS; prints "ready" once both devices exist, then carries
packets until it is ended.
"""

import ctypes
import fcntl
import heapq
import os
import select
import struct
import sys
import time

TUNSETIFF = 0x400454CA
IFF_TUN = 0x0001
IFF_NO_PI = 0x1000
CLONE_NEWNET = 0x40000000


def open_tun(name):
    fd = os.open("/dev/net/tun", os.O_RDWR | os.O_NONBLOCK | os.O_CLOEXEC)
    fcntl.ioctl(fd, TUNSETIFF, struct.pack("16sH", name.encode(), IFF_TUN | IFF_NO_PI))
    return fd


def main():
    near_ns, far_ns, near_if, far_if, delay_ms = sys.argv[1:6]
    half = float(delay_ms) / 2000.0
    near = open_tun(near_if)
    # The second device is made in the far namespace; the descriptor keeps it there.
    libc = ctypes.CDLL(None, use_errno=True)
    with open("/run/netns/" + far_ns) as namespace:
        if libc.setns(namespace.fileno(), CLONE_NEWNET) != 0:
            sys.exit("cannot join %s: %s" % (far_ns, os.strerror(ctypes.get_errno())))
    far = open_tun(far_if)
    print("ready", flush=True)
    other = {near: far, far: near}
    due = []  # (time, order, descriptor to write, packet)
    order = 0
    while True:
        timeout = max(0.0, due[0][0] - time.monotonic()) if due else None
        readable, _, _ = select.select([near, far], [], [], timeout)
        for fd in readable:
            while True:
                try:
                    packet = os.read(fd, 65536)
                except BlockingIOError:
                    break
                order += 1
                heapq.heappush(due, (time.monotonic() + half, order, other[fd], packet))
        now = time.monotonic()
        while due and due[0][0] <= now:
            _, _, fd, packet = heapq.heappop(due)
            try:
                os.write(fd, packet)
            except OSError:
                pass  # the device is down for a moment: the packet is lost, as on a cable


if __name__ == "__main__":
    main()
