#!/usr/bin/env python3
"""Run by bench.py as a throwaway user who may not command the service: flood.py PORT COUNT
Holds COUNT handshakes that the service refuses (sent whole; reopened when the service closes
them) and COUNT slow ones (one byte a second, never finished) open against 127.0.0.1:PORT until
it is ended. Prints one line once all are open.
As a member of the service's group: flood.py PORT CONNECTIONS --command TEXT sends TEXT on each of
CONNECTIONS links again as soon as the service answered it, until it is ended."""
import errno
import heapq
import os
import resource
import selectors
import socket
import sys
import time

REOPEN_DELAY = 0.05
SLOW_INTERVAL = 1.0


def handshake(port):
    return ("GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n" % port).encode()


def main():
    port, count = int(sys.argv[1]), int(sys.argv[2])
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, max(soft, 2 * count + 64)), hard))
    request = handshake(port)
    selector = selectors.DefaultSelector()
    timers = []  # (when, sequence, kind, socket or None)
    sequence = 0
    opened = {"refused": 0, "slow": 0}
    reopened = 0

    def schedule(when, kind, sock):
        nonlocal sequence
        sequence += 1
        heapq.heappush(timers, (when, sequence, kind, sock))

    def open_one(kind):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.setblocking(False)
        try:
            sock.connect(("127.0.0.1", port))
        except BlockingIOError:
            pass
        except OSError:
            sock.close()
            schedule(time.monotonic() + REOPEN_DELAY, kind, None)
            return
        state = {"kind": kind, "sent": 0}
        selector.register(sock, selectors.EVENT_READ | selectors.EVENT_WRITE, state)

    def close(sock, state):
        nonlocal reopened
        selector.unregister(sock)
        sock.close()
        reopened += 1
        schedule(time.monotonic() + REOPEN_DELAY, state["kind"], None)

    for _ in range(count):
        open_one("refused")
        open_one("slow")
    announced = False
    give_up = time.monotonic() + 10.0
    while True:
        timeout = max(0.0, timers[0][0] - time.monotonic()) if timers else 1.0
        for key, events in selector.select(min(timeout, 1.0)):
            sock, state = key.fileobj, key.data
            if events & selectors.EVENT_READ:
                try:
                    data = sock.recv(4096)
                except OSError:
                    data = b""
                if not data:
                    close(sock, state)
                    continue
            if events & selectors.EVENT_WRITE:
                error = sock.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR)
                if error and error != errno.EINPROGRESS:
                    close(sock, state)
                    continue
                opened[state["kind"]] += 1
                selector.modify(sock, selectors.EVENT_READ, state)
                if state["kind"] == "refused":
                    try:
                        sock.sendall(request)
                    except OSError:
                        close(sock, state)
                else:
                    schedule(time.monotonic(), "byte", sock)
        while timers and timers[0][0] <= time.monotonic():
            _, _, kind, sock = heapq.heappop(timers)
            if kind == "byte":
                state = selector.get_map().get(sock.fileno()) if sock.fileno() >= 0 else None
                if state is None or state.fileobj is not sock:
                    continue
                sent = state.data["sent"]
                try:
                    sock.send(request[sent % (len(request) - 4):][:1])
                except OSError:
                    close(sock, state.data)
                    continue
                state.data["sent"] = sent + 1
                schedule(time.monotonic() + SLOW_INTERVAL, "byte", sock)
            else:
                open_one(kind)
        if not announced and ((opened["refused"] >= count and opened["slow"] >= count) or time.monotonic() > give_up):
            announced = True
            held = {"refused": 0, "slow": 0}
            for key in selector.get_map().values():
                held[key.data["kind"]] += 1
            print("holding %d refused and %d slow handshakes open (of %d each; %d reopened)"
                  % (held["refused"], held["slow"], count, reopened), flush=True)


def commands(port, connections, text):
    import os
    import threading

    def link():
        try:
            talk()
        except OSError:  # the service went, or dropped this link
            pass

    def talk():
        sock = socket.create_connection(("127.0.0.1", port))
        sock.sendall(handshake(port))
        buffer = b""
        while b"\r\n\r\n" not in buffer:
            data = sock.recv(4096)
            if not data:
                return
            buffer += data
        payload = text.encode()
        length = bytes([0x80 | 126]) + len(payload).to_bytes(2, "big") if len(payload) >= 126 \
            else bytes([0x80 | len(payload)])
        frame = bytes([0x81]) + length + bytes(4) + payload  # a zero mask leaves the payload as it is
        while True:
            sock.sendall(frame)
            while b"started:" not in buffer:
                data = sock.recv(65536)
                if not data:
                    return
                buffer += data
            buffer = buffer[buffer.index(b"started:") + 8:]

    for _ in range(connections):
        threading.Thread(target=link, daemon=True).start()
    print("sending on %d links" % connections, flush=True)
    threading.Event().wait()


if __name__ == "__main__":
    if "--command" in sys.argv:
        commands(int(sys.argv[1]), int(sys.argv[2]), sys.argv[sys.argv.index("--command") + 1])
    else:
        main()
