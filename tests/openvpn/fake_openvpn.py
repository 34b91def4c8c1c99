#!/usr/bin/env python3
# Stand-in for OpenVPN run by the real vpn-service. It plays the next step of the file "script" in
# $FAKE_OPENVPN_DIR (or beside it; one a line, the last one sticks): "exit N" ends at once with N; "serve [N]" opens the
# management interface (the Unix socket the configuration names) and plays a successful dialogue, which "signal SIGTERM" ends with N (default 0);
# "stall [N]" is "serve" with a server that never answers: the tunnel never comes up. A third word
# of "serve" lists the DNS servers pushed, separated by ",".
# Like OpenVPN it asks every management connection for the password of the file the configuration's
# management directive names, and closes it after a wrong answer; no password file, no run.
# It appends its arguments to "args.log", tab-separated, one run a line.
import os, signal, socket, sys

os.chdir(os.environ.get("FAKE_OPENVPN_DIR") or os.path.dirname(os.path.abspath(__file__)))
open("args.log", "a").write("\t".join(sys.argv[1:]) + "\n")
steps = open("script").read().splitlines() if os.path.exists("script") else ["exit 9"]
if len(steps) > 1:
    open("script", "w").write("\n".join(steps[1:]) + "\n")
step = steps[0].split()
step += ["0", ""][len(step) - 1:]
if step[0] == "exit":
    sys.exit(int(step[1]))
config = sys.argv[sys.argv.index("--config") + 1] if "--config" in sys.argv else ""
directive = [l.split() for l in open(config) if l.startswith("management ")] if config else []
if not directive or len(directive[0]) != 4:
    sys.exit(1)
secret = open(directive[0][3]).readline().rstrip("\r\n")
conn, pending, authorized = None, b"", False

def handle(data):
    global pending, authorized
    pending += data
    while b"\n" in pending:
        line, pending = pending.split(b"\n", 1)
        line = line.strip().decode(errors="replace")
        if not authorized:
            authorized = line == secret
            if not authorized:
                return False
            conn.sendall(b"SUCCESS: password is correct\r\n"
                         b">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n")
        elif line == "log on":
            conn.sendall(b">PASSWORD:Need 'Auth' username/password\r\n")
        elif line.startswith("password ") and step[0] == "serve":
            push = "".join(",dhcp-option DNS " + server for server in step[2].split(",") if server)
            conn.sendall(f">LOG:1,,PUSH: Received control message: 'PUSH_REPLY,ping 10{push}'\r\n".encode()
                         + b">STATE:1,ASSIGN_IP,,10.8.0.2,,,,,\r\n>LOG:1,I,Initialization Sequence Completed\r\n")
        elif line == "signal SIGTERM":
            os._exit(int(step[1]))
    return True

def on_term(*_):  # like OpenVPN's: exit 1, unless what the client sends in the next 0.3 s says otherwise
    # The main loop goes on reading: bytes an interrupted recv() already took are handled there.
    signal.signal(signal.SIGALRM, lambda *_: os._exit(1))
    signal.setitimer(signal.ITIMER_REAL, 0.3)

signal.signal(signal.SIGTERM, on_term)
signal.alarm(60)  # never outlive a test that forgot about it
server = socket.socket(socket.AF_UNIX)  # as the service has it on Linux: a socket in its run's folder
server.bind(directive[0][1])
server.listen()
while True:
    conn, _ = server.accept()
    pending, authorized = b"", False
    conn.sendall(b"ENTER PASSWORD:")
    try:
        while (data := conn.recv(4096)) and handle(data):
            pass
    except OSError:  # a client that reset the connection
        pass
    conn.close()
