#!/usr/bin/env python3
"""Measures the client beside its floors and prints one table. Started by bench/run.sh, as root,
inside the development host's client namespace, with the environment run.sh prepares:
    bench.py APP_DIR WORK_DIR CLIENT_DISPLAY FLOOR_DISPLAY [--rounds N] [--idle-seconds S] [--flood N]
Every figure is measured in rounds that alternate the client and its floor, so that what else
the machine does at the time weighs on both; the table gives the median with min and max.
Nothing here judges the numbers: it only reports them."""
import argparse
import ctypes
import ctypes.util
import glob
import os
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

WINDOW_TITLE = "Korvex"
# The round switch's centre in window coordinates (the scripted session clicks the same point).
SWITCH_X, SWITCH_Y = 200, 320
FRAME_TIMEOUT = 30.0
TUNNEL_TIMEOUT = 30.0
SETTLE_SECONDS = 3.0
LONG_USE_SETTLE_SECONDS = 35.0
SERVICE_PORT = 6447


def now():
    return time.monotonic()


def say(text):
    print("bench: " + text, file=sys.stderr, flush=True)


class Program:
    """One run of a measured program with the frame probe loaded."""

    def __init__(self, name, command, env, frame_log):
        self.name = name
        self.frame_log = frame_log
        if os.path.exists(frame_log):
            os.remove(frame_log)
        env = dict(env, LD_PRELOAD=env["BENCH_PROBE"], BENCH_FRAME_LOG=frame_log)
        self.started = now()
        self.process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def frames(self):
        try:
            with open(self.frame_log) as log:
                return [int(line) / 1e9 for line in log if line.strip()]
        except FileNotFoundError:
            return []

    def first_frame(self):
        deadline = now() + FRAME_TIMEOUT
        while now() < deadline:
            frames = self.frames()
            if frames:
                # CPU spent until then: less at the mercy of what else the machine does than the time.
                self.cpu_to_first_frame = self.usage()[0]
                return frames[0] - self.started
            if self.process.poll() is not None:
                raise RuntimeError("%s ended before its first frame (code %s)" % (self.name, self.process.returncode))
            time.sleep(0.002)
        raise RuntimeError("%s showed no frame in %d s" % (self.name, FRAME_TIMEOUT))

    def rss_mb(self):
        with open("/proc/%d/status" % self.process.pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024.0
        return float("nan")

    def usage(self):
        """CPU seconds and context switches (wake-ups) summed over the program's threads."""
        cpu = 0
        switches = 0
        for task in glob.glob("/proc/%d/task/*" % self.process.pid):
            try:
                with open(task + "/schedstat") as schedstat:
                    cpu += int(schedstat.read().split()[0])
                with open(task + "/status") as status:
                    for line in status:
                        if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                            switches += int(line.split()[1])
            except (FileNotFoundError, ProcessLookupError):
                continue
        return cpu / 1e9, switches

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def footprint(pid):
    """Resident memory (MB), open descriptors and threads of a running process."""
    with open("/proc/%d/status" % pid) as status:
        fields = dict(line.split(":", 1) for line in status if ":" in line)
    return {"rss": int(fields["VmRSS"].split()[0]) / 1024.0, "fds": len(os.listdir("/proc/%d/fd" % pid)),
            "threads": int(fields["Threads"])}


class ServicePid:
    def __init__(self, pidfile):
        self.pidfile = pidfile

    def pid(self):
        with open(self.pidfile) as f:
            return int(f.read().strip())


class Pointer:
    """Clicks through the X test extension, so that the moment of the click is known exactly."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst"))
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError("cannot open display " + display)

    def click(self):
        self.xtst.XTestFakeButtonEvent(self.display, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.display, 1, 0, 0)
        self.x11.XFlush(self.display)


class ClientLog:
    def __init__(self, logs_dir, newer_than):
        self.path = None
        deadline = now() + FRAME_TIMEOUT
        while self.path is None and now() < deadline:
            files = [p for p in glob.glob(os.path.join(logs_dir, "*-app.log")) if os.path.getmtime(p) >= newer_than]
            self.path = max(files) if files else None
            time.sleep(0.01)
        if self.path is None:
            raise RuntimeError("the client wrote no log in " + logs_dir)

    def size(self):
        return os.path.getsize(self.path)

    def wait_for(self, offset, text, timeout, give_up=None):
        """Returns the moment the log first shows TEXT after OFFSET (polled every millisecond)."""
        deadline = now() + timeout
        while now() < deadline:
            with open(self.path, errors="replace") as log:
                log.seek(offset)
                tail = log.read()
            if text in tail:
                return now()
            if give_up and give_up in tail:
                raise RuntimeError("the client logged %r" % give_up)
            time.sleep(0.001)
        raise RuntimeError("the client did not log %r in %d s" % (text, timeout))

    def text(self):
        with open(self.path, errors="replace") as log:
            return log.read()


def stats(values):
    values = [v for v in values if v == v]
    if not values:
        return None
    return statistics.median(values), min(values), max(values)


def cell(values, unit, digits):
    s = stats(values)
    if s is None:
        return "-"
    return "%.*f %s (%.*f-%.*f)" % (digits, s[0], unit, digits, s[1], digits, s[2])


class Bench:
    def __init__(self, args):
        self.args = args
        self.app = args.app_dir
        self.work = args.work_dir
        os.makedirs(self.work, exist_ok=True)
        self.env = dict(os.environ)
        self.env["BENCH_PROBE"] = os.path.join(self.app, "libbench-frameprobe.so")
        self.logs_dir = os.path.join(self.env["XDG_DATA_HOME"], "vpnclient", "logs")
        self.rows = []

    def client_env(self):
        return dict(self.env, DISPLAY=self.args.client_display)

    def floor_env(self):
        return dict(self.env, DISPLAY=self.args.floor_display)

    def start_client(self):
        marker = time.time() - 1
        client = Program("the client", [os.path.join(self.app, "vpnclient")], self.client_env(),
                         os.path.join(self.work, "client-frames"))
        client.log = ClientLog(self.logs_dir, marker)
        return client

    def start_floor(self, mode=None):
        return Program("the floor", [os.path.join(self.app, "bench-floor")] + (["--" + mode] if mode else []),
                       self.floor_env(), os.path.join(self.work, "floor-frames"))

    def row(self, figure, client, floor, unit, digits, goal, ratio=True):
        c, f = stats(client), stats(floor)
        if ratio and c and f and f[0] > 0:
            r = "%.2f" % (c[0] / f[0])
        elif not ratio and c and f:
            r = "%+.*f %s" % (digits, c[0] - f[0], unit)
        else:
            r = "-"
        self.rows.append((figure, cell(client, unit, digits), cell(floor, unit, digits), r, goal))

    # 1. Start-up to the first frame, and resident memory once settled. Beside the floor, for
    # reference only, the same window drawing one label on one rectangle: what drawing anything at
    # all costs with this backend.
    def startup(self):
        starts = {"client": [], "floor": [], "drawn": []}
        cpu = {"client": [], "floor": [], "drawn": []}
        memory = {"client": [], "floor": [], "drawn": []}
        # One unmeasured run of each first: the first start after a build reads everything from disk.
        for round_ in range(self.args.rounds + 1):
            for who in ("client", "floor", "drawn"):
                if who == "client":
                    program = self.start_client()
                else:
                    program = self.start_floor("drawn" if who == "drawn" else None)
                try:
                    first = program.first_frame()
                    time.sleep(max(0.0, program.started + SETTLE_SECONDS - now()))
                    rss = program.rss_mb()
                finally:
                    program.stop()
                if round_ > 0:
                    starts[who].append(first)
                    cpu[who].append(program.cpu_to_first_frame)
                    memory[who].append(rss)
                    say("start-up %s: %.3f s (CPU %.3f s), %.1f MB" % (who, first, program.cpu_to_first_frame, rss))
        self.row("start-up to first frame", starts["client"], starts["floor"], "s", 3, "<= 1.10")
        self.row("  floor: drawing one label", starts["client"], starts["drawn"], "s", 3, "-")
        self.row("CPU time to first frame", cpu["client"], cpu["floor"], "s", 3, "-")
        self.row("  floor: drawing one label", cpu["client"], cpu["drawn"], "s", 3, "-")
        self.row("resident memory %g s after start" % SETTLE_SECONDS, memory["client"], memory["floor"], "MB", 1,
                 "<= 1.15")
        self.row("  floor: drawing one label", memory["client"], memory["drawn"], "MB", 1, "-")

    # 2 and 3. Click to Connected and to Disconnected through the window, against bare OpenVPN;
    # then CPU and wake-ups while connected and idle, against the ticking floor.
    def connection(self):
        client = self.start_client()
        try:
            client.first_frame()
            client.log.wait_for(0, "Set VPN server IP: ", FRAME_TIMEOUT)
            client.log.wait_for(0, "vpn-service is running: true", FRAME_TIMEOUT)
            pointer = self.point_at_switch()
            up, down, bare_up, bare_down = [], [], [], []
            config = None
            for round_ in range(self.args.rounds):
                offset = client.log.size()
                clicked = now()
                pointer.click()
                up.append(client.log.wait_for(offset, "VPN connection is UP", TUNNEL_TIMEOUT,
                                              "State updated to 'Error'") - clicked)
                if config is None:
                    config = self.copy_config(client.log.text())
                # Let the tunnel's follow-up work (DNS tool, current address) finish before the click.
                time.sleep(1.5)
                offset = client.log.size()
                clicked = now()
                pointer.click()
                down.append(client.log.wait_for(offset, "VPN connection is DOWN", TUNNEL_TIMEOUT) - clicked)
                time.sleep(1.0)
                b_up, b_down = self.bare_openvpn(config)
                bare_up.append(b_up)
                bare_down.append(b_down)
                say("connect: client %.3f s / %.3f s, bare OpenVPN %.3f s / %.3f s" % (up[-1], down[-1], b_up, b_down))
                time.sleep(0.5)
            self.row("click -> Connected", up, bare_up, "s", 3, "<= +0.150 s (worst)", ratio=False)
            self.rows[-1] = self.rows[-1][:3] + ("worst %+.3f s" % (max(up) - statistics.median(bare_up)),
                                                  self.rows[-1][4])
            self.row("click -> Disconnected", down, bare_down, "s", 3, "-", ratio=False)

            # Connected and idle, beside the ticking floor on its own display; both sampled over the
            # same intervals.
            offset = client.log.size()
            pointer.click()
            client.log.wait_for(offset, "VPN connection is UP", TUNNEL_TIMEOUT, "State updated to 'Error'")
            client.log.wait_for(offset, "geoip' finished", FRAME_TIMEOUT)
            floor = self.start_floor("ticking")
            try:
                floor.first_frame()
                time.sleep(SETTLE_SECONDS)
                cpu = {"client": [], "floor": []}
                wakeups = {"client": [], "floor": []}
                frames = {"client": [], "floor": []}
                for _ in range(self.args.rounds):
                    begin = {"client": client.usage(), "floor": floor.usage()}
                    started = now()
                    time.sleep(self.args.idle_seconds)
                    elapsed = now() - started
                    for who, program in (("client", client), ("floor", floor)):
                        end = program.usage()
                        cpu[who].append(100.0 * (end[0] - begin[who][0]) / elapsed)
                        wakeups[who].append((end[1] - begin[who][1]) / elapsed)
                        frames[who].append(len([t for t in program.frames() if started <= t < started + elapsed])
                                           / elapsed)
                    say("idle: client %.2f %% %.1f/s %.2f frames/s, floor %.2f %% %.1f/s %.2f frames/s" % (
                        cpu["client"][-1], wakeups["client"][-1], frames["client"][-1],
                        cpu["floor"][-1], wakeups["floor"][-1], frames["floor"][-1]))
            finally:
                floor.stop()
            self.row("CPU while connected, idle", cpu["client"], cpu["floor"], "%", 2, "<= 1.3")
            self.row("wake-ups per second, idle", wakeups["client"], wakeups["floor"], "/s", 1, "-")
            self.row("frames per second, idle", frames["client"], frames["floor"], "/s", 2, "-")
            offset = client.log.size()
            pointer.click()
            client.log.wait_for(offset, "VPN connection is DOWN", TUNNEL_TIMEOUT)
        finally:
            client.stop()

    # 6. Long use: connect and disconnect through the window with the network lock on, again and
    # again; resident memory, descriptors and threads of the client and the service after the
    # later count of cycles against after the earlier one (both from one client's run).
    def longuse(self):
        early, late = sorted(int(c) for c in self.args.cycles.split(","))
        self.enable_lock()
        service = ServicePid(os.path.join(self.env["DEVHOST_DIR"], "vpn-service.pid"))
        client = self.start_client()
        samples = {}
        try:
            client.first_frame()
            client.log.wait_for(0, "Set VPN server IP: ", FRAME_TIMEOUT)
            client.log.wait_for(0, "vpn-service is running: true", FRAME_TIMEOUT)
            pointer = self.point_at_switch()
            started = now()
            for cycle in range(1, late + 1):
                # Each half waits for the tunnel's follow-up work (the lock, the resolvers, the
                # current address) to end, as a person would see it before clicking again.
                offset = client.log.size()
                pointer.click()
                client.log.wait_for(offset, "VPN connection is UP", TUNNEL_TIMEOUT, "State updated to 'Error'")
                client.log.wait_for(offset, "geoip' finished", TUNNEL_TIMEOUT)
                offset = client.log.size()
                pointer.click()
                client.log.wait_for(offset, "VPN connection is DOWN", TUNNEL_TIMEOUT)
                client.log.wait_for(offset, "geoip' finished", TUNNEL_TIMEOUT)
                if cycle in (early, late):
                    # Long enough for the idle threads of Qt's pools (name lookups) to end, which
                    # would otherwise count or not by chance.
                    time.sleep(LONG_USE_SETTLE_SECONDS)
                    samples[cycle] = {"client": footprint(client.process.pid), "service": footprint(service.pid())}
                    say("long use, cycle %d (%.0f s): client %s, service %s" % (
                        cycle, now() - started, samples[cycle]["client"], samples[cycle]["service"]))
        finally:
            client.stop()
        for who in ("client", "service"):
            before, after = samples[early][who], samples[late][who]
            for key, unit, digits, goal in (("rss", "MB", 1, "<= +1 MB"), ("fds", "", 0, "+0"),
                                            ("threads", "", 0, "+0")):
                name = {"rss": "resident memory", "fds": "descriptors", "threads": "threads"}[key]
                self.rows.append(("long use: %s's %s after %d cycles (floor: after %d)" % (who, name, late, early),
                                  "%.*f %s" % (digits, after[key], unit), "%.*f %s" % (digits, before[key], unit),
                                  "%+.*f %s" % (digits, after[key] - before[key], unit), goal))

    def enable_lock(self):
        """The network lock on in the client's settings store, as the user would set it."""
        path = os.path.join(self.env["XDG_CONFIG_HOME"], "VPN", "VPNClient.conf")
        with open(path) as store:
            lines = [line for line in store.read().splitlines() if not line.startswith("killswitchEnabled=")]
        if "[Settings]" not in lines:
            lines.append("[Settings]")
        lines.insert(lines.index("[Settings]") + 1, "killswitchEnabled=true")
        with open(path, "w") as store:
            store.write("\n".join(lines) + "\n")

    def point_at_switch(self):
        window = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % WINDOW_TITLE],
                                env=self.client_env(), capture_output=True, text=True).stdout.split()
        if not window:
            raise RuntimeError("no window titled " + WINDOW_TITLE)
        subprocess.run(["xdotool", "mousemove", "--window", window[0], str(SWITCH_X), str(SWITCH_Y)],
                       env=self.client_env(), check=True)
        return Pointer(self.args.client_display)

    def copy_config(self, log_text):
        """The configuration file the client wrote for its OpenVPN, copied while it still exists."""
        match = re.search(r"Start OpenVPN with args: \(([^)]*)\)", log_text)
        if not match:
            raise RuntimeError("the client's log does not name OpenVPN's arguments")
        arguments = match.group(1).split(", ")
        source = arguments[arguments.index("--config") + 1]
        target = os.path.join(self.work, "client.ovpn")
        with open(source, errors="replace") as f:
            text = f.read()
        # The management password file goes with the client's run: a copy of it serves every bare run.
        for secret in set(re.findall(r"\S*/vpn-management-\w+", text)):
            copy = os.path.join(self.work, "management-password")
            shutil.copyfile(secret, copy)
            os.chmod(copy, 0o600)
            text = text.replace(secret, copy)
        with open(target, "w") as f:
            f.write(text)
        os.chmod(target, 0o600)
        return target

    def bare_openvpn(self, config):
        """exec -> "Initialization Sequence Completed", then SIGTERM -> exit, with the client's
        configuration and the same account, as the service runs the system's OpenVPN."""
        credentials = os.path.join(self.work, "credentials")
        with open(credentials, "w") as f:
            f.write("%s\n%s\n" % (self.env.get("VPNC_DEMO_USER", "demo"),
                                  self.env.get("VPNC_DEMO_PASSWORD", "demo-password")))
        os.chmod(credentials, 0o600)
        started = now()
        process = subprocess.Popen(["/usr/sbin/openvpn", "--ignore-unknown-option", "register-dns", "dhcp-renew",
                                    "block-outside-dns", "--config", config, "--auth-user-pass", credentials],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   text=True)
        up = None
        deadline = started + TUNNEL_TIMEOUT
        output = []
        try:
            for line in process.stdout:
                output.append(line.rstrip())
                if "Initialization Sequence Completed" in line:
                    up = now() - started
                    break
                if now() > deadline:
                    break
            if up is None:
                raise RuntimeError("bare OpenVPN did not complete its initialisation: " + " | ".join(output[-3:]))
            stopped = now()
            process.send_signal(signal.SIGTERM)
            process.stdout.read()
            process.wait(TUNNEL_TIMEOUT)
            return up, now() - stopped
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()

    # 4. The service's round trip for its owner while another user floods it.
    def flood(self):
        user = self.args.flood_user
        if not user:
            return
        command = 'start: "%s"' % os.path.join(self.app, "dns")
        quiet = self.round_trips(command, self.args.probes)
        flooder = subprocess.Popen(["setpriv", "--reuid=" + user, "--regid=" + user, "--clear-groups",
                                    sys.executable, os.path.join(os.path.dirname(__file__), "flood.py"),
                                    str(SERVICE_PORT), str(self.args.flood)],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        try:
            ready = flooder.stdout.readline().strip()
            say("flood: " + ready)
            loaded = self.round_trips(command, self.args.probes)
        finally:
            flooder.terminate()
            flooder.wait()
        loaded_text, loaded_p99 = self.summary(loaded)
        quiet_text, quiet_p99 = self.summary(quiet)
        self.rows.append(("service round trip, flooded (floor: unflooded)", loaded_text, quiet_text,
                          "%.2f" % (loaded_p99 / quiet_p99), "<= 50 ms p99"))

    # 5. Root's round trip while a member sends the most expensive commands the caps allow: on all
    # its connections, OpenVPN starts whose configurations are as large, in as many lines, as the
    # service reads, each line checked by an expression.
    def expensive(self):
        user = self.args.member_user
        if not user:
            return
        folder = tempfile.mkdtemp(prefix="vpnbench-member-")
        try:
            config = os.path.join(folder, "expensive.ovpn")
            with open(config, "w") as out:
                out.write(("tls-cipher " + "A" * 150 + "\n") * 400)
            for path in (folder, config):
                shutil.chown(path, user, user)
            command = 'start: "/usr/sbin/openvpn" "--config" "%s" "--management-query-passwords" ' \
                      '"--log-append" "%s"' % (config, os.path.join(folder, "openvpn.log"))
            probe = 'start: "%s"' % os.path.join(self.app, "dns")
            quiet = self.round_trips(probe, self.args.probes)
            sender = subprocess.Popen(["setpriv", "--reuid=" + user, "--regid=" + user, "--init-groups",
                                       sys.executable, os.path.join(os.path.dirname(__file__), "flood.py"),
                                       str(SERVICE_PORT), "8", "--command", command],
                                      stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
            try:
                say("expensive: " + sender.stdout.readline().strip())
                loaded = self.round_trips(probe, self.args.probes)
            finally:
                sender.terminate()
                sender.wait()
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        loaded_text, loaded_p99 = self.summary(loaded)
        quiet_text, quiet_p99 = self.summary(quiet)
        self.rows.append(("root's round trip, a member's costliest commands (floor: without)", loaded_text,
                          quiet_text, "%.2f" % (loaded_p99 / quiet_p99), "<= 50 ms p99"))

    @staticmethod
    def summary(values):
        ordered = sorted(values)
        p99 = ordered[max(0, int(len(ordered) * 0.99 + 0.5) - 1)]
        return "%.1f ms p99 (median %.1f, max %.1f, n=%d)" % (
            p99, statistics.median(ordered), ordered[-1], len(ordered)), p99

    def round_trips(self, command, count):
        """Milliseconds from a command to the service's first answer line, on one link of the owner."""
        times = []
        link = WebSocket("127.0.0.1", SERVICE_PORT)
        # A slow service must not stretch the bench without end: COUNT commands or the time limit.
        deadline = now() + self.args.probe_seconds
        try:
            for _ in range(count):
                if now() > deadline and len(times) >= 10:
                    break
                started = now()
                link.send(command)
                answer = link.receive()
                if not answer.startswith("started:"):
                    raise RuntimeError("the service answered %r" % answer)
                times.append(1000.0 * (now() - started))
                while not link.receive().startswith("finished:"):
                    pass
        finally:
            link.close()
        return times

    def table(self):
        header = ("figure", "client: median (min-max)", "floor: median (min-max)", "ratio", "goal")
        rows = [header] + self.rows
        widths = [max(len(r[i]) for r in rows) for i in range(len(header))]
        lines = ["| " + " | ".join(r[i].ljust(widths[i]) for i in range(len(header))) + " |" for r in rows]
        lines.insert(1, "|" + "|".join("-" * (w + 2) for w in widths) + "|")
        return "\n".join(lines)


class WebSocket:
    """The smallest WebSocket client the service's text messages need (no Origin header)."""

    def __init__(self, host, port):
        self.sock = socket.create_connection((host, port), timeout=30)
        key = "dGhlIHNhbXBsZSBub25jZQ=="
        self.sock.sendall(("GET / HTTP/1.1\r\nHost: %s:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                           "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n" % (host, port, key)).encode())
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            data = self.sock.recv(4096)
            if not data:
                raise RuntimeError("the service closed the link during the handshake")
            self.buffer += data
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        if not head.startswith(b"HTTP/1.1 101"):
            raise RuntimeError("the service refused the link: " + head.split(b"\r\n")[0].decode(errors="replace"))

    def send(self, text):
        payload = text.encode()
        mask = os.urandom(4)
        header = bytes([0x81])
        if len(payload) < 126:
            header += bytes([0x80 | len(payload)])
        else:
            header += bytes([0x80 | 126]) + len(payload).to_bytes(2, "big")
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

    def read(self, n):
        while len(self.buffer) < n:
            data = self.sock.recv(65536)
            if not data:
                raise RuntimeError("the service closed the link")
            self.buffer += data
        chunk, self.buffer = self.buffer[:n], self.buffer[n:]
        return chunk

    def receive(self):
        while True:
            first, second = self.read(2)
            length = second & 0x7F
            if length == 126:
                length = int.from_bytes(self.read(2), "big")
            elif length == 127:
                length = int.from_bytes(self.read(8), "big")
            payload = self.read(length)
            if first & 0x0F == 0x8:
                raise RuntimeError("the service closed the link")
            if first & 0x0F == 0x1:
                return payload.decode(errors="replace")

    def close(self):
        self.sock.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("app_dir")
    parser.add_argument("work_dir")
    parser.add_argument("client_display")
    parser.add_argument("floor_display")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--idle-seconds", type=float, default=10.0)
    parser.add_argument("--flood", type=int, default=1000, help="refused and slow handshakes held, each")
    parser.add_argument("--flood-user", default="")
    parser.add_argument("--member-user", default="", help="a member of the service's group, for 'expensive'")
    parser.add_argument("--probes", type=int, default=200, help="owner's commands per measurement")
    parser.add_argument("--probe-seconds", type=float, default=30.0, help="time limit of one measurement")
    parser.add_argument("--cycles", default="100,1000",
                        help="long use: the two connect/disconnect counts compared, earlier,later")
    parser.add_argument("--only", default="startup,connection,flood,expensive,longuse")
    args = parser.parse_args()
    bench = Bench(args)
    parts = args.only.split(",")
    failed = []
    for part in ("startup", "connection", "flood", "expensive", "longuse"):
        if part in parts:
            try:
                getattr(bench, part)()
            except Exception as error:  # one failed part must not hide the others' figures
                failed.append(part)
                say("%s failed: %s" % (part, error))
    print(bench.table())
    if failed:
        print("failed: " + ", ".join(failed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
