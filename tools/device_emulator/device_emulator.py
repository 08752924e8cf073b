#!/usr/bin/env python3
"""Emulated USB-serial devices for tests and demos under Wine.

Each emulated device is a Linux pty pair. The pty slave is mapped to a Wine
COM port by the symlink $WINEPREFIX/dosdevices/comN; the emulator holds the
master and speaks the devices' line protocol on it: it repeats the identity
line, sends command lines on request and records every line the host writes.

The daemon is driven over a line-based TCP control connection on 127.0.0.1
(see README.md in this folder). Run without a sub-command it serves; the
sub-commands send one control request to a running daemon.

Only the Python standard library is used.
"""

import argparse
import errno
import os
import select
import selectors
import signal
import socket
import subprocess
import sys
import time
import tty

DEFAULT_IDENTITY_INTERVAL_MS = 5000
# The host needs a moment after opening the port to set it up and start reading.
OPEN_SETTLE_SECONDS = 0.1
HOST_POLL_SECONDS = 0.02
MAX_WRITE_QUEUE = 4 * 1024 * 1024


def escape_bytes(data):
    """Printable ASCII stays, backslash and everything else become escapes."""
    out = []
    for b in data:
        if b == 0x5C:
            out.append("\\\\")
        elif 0x20 <= b < 0x7F:
            out.append(chr(b))
        else:
            out.append("\\x%02x" % b)
    return "".join(out)


def write_file_atomically(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="ascii", errors="backslashreplace") as f:
        f.write(text)
    os.replace(tmp, path)


class ControlError(Exception):
    pass


class Device:
    """One emulated device: a pty master, its COM link and its logs."""

    def __init__(self, daemon, com, vid, pid, serial, interval_ms, identity):
        self.daemon = daemon
        self.com = com
        self.vid = vid
        self.pid = pid
        self.serial = serial
        self.identity = identity
        self.interval = interval_ms / 1000.0
        self.received = []  # (timestamp, bytes)
        self.partial = b""
        self.out = bytearray()
        self.sent_bytes = 0
        self.dropped_bytes = 0
        self.host_opens = 0
        self.host_was_open = False
        self.next_identity = None
        self.registered_events = 0

        self.master, slave = os.openpty()
        # Raw mode: no echo, no line editing and no CR/LF mapping on the slave.
        tty.setraw(slave)
        self.pty_path = os.ttyname(slave)
        os.close(slave)
        os.set_blocking(self.master, False)
        self.poller = select.poll()
        self.poller.register(self.master, select.POLLIN)

        self.link = os.path.join(daemon.dosdevices, "com%d" % com)
        if os.path.lexists(self.link):
            os.remove(self.link)
        os.symlink(self.pty_path, self.link)

        self.log_path = os.path.join(daemon.control_dir, "com%d.log" % com)
        self.status_path = os.path.join(daemon.control_dir, "com%d.status" % com)
        self.log = open(self.log_path, "w", encoding="ascii")
        self.write_status("plugged")

    # --- host side state -------------------------------------------------
    def host_open(self):
        """True while some process (the host) holds the pty slave open."""
        for _, ev in self.poller.poll(0):
            if ev & select.POLLHUP:
                return False
        return True

    def check_host(self, now):
        is_open = self.host_open()
        if is_open != self.host_was_open:
            self.host_was_open = is_open
            self.partial = b""
            if is_open:
                self.host_opens += 1
                if self.identity and self.interval > 0:
                    self.next_identity = now + OPEN_SETTLE_SECONDS
            else:
                self.out.clear()
            self.write_status("plugged")
        self.update_registration()

    def update_registration(self):
        events = 0
        if self.host_was_open:
            events = selectors.EVENT_READ
            if self.out:
                events |= selectors.EVENT_WRITE
        if events == self.registered_events:
            return
        sel = self.daemon.selector
        if self.registered_events and events:
            sel.modify(self.master, events, self)
        elif events:
            sel.register(self.master, events, self)
        else:
            sel.unregister(self.master)
        self.registered_events = events

    # --- device to host ------------------------------------------------
    def queue(self, data):
        """Queue bytes for the host; they are lost while the port is closed,
        as with a real device whose port nobody has open."""
        now = time.time()
        if not self.host_open():
            self.dropped_bytes += len(data)
            return now
        if len(self.out) + len(data) > MAX_WRITE_QUEUE:
            raise ControlError("write queue full")
        self.out += data
        self.flush()
        self.update_registration()
        return now

    def flush(self):
        while self.out:
            try:
                n = os.write(self.master, self.out)
            except BlockingIOError:
                return
            except OSError as e:
                if e.errno == errno.EIO:
                    self.host_was_open = False
                    self.out.clear()
                    return
                raise
            self.sent_bytes += n
            del self.out[:n]

    def send_identity(self, now):
        if self.identity and self.interval > 0:
            self.queue(self.identity.encode("latin-1") + b"\n")
            self.next_identity = now + self.interval
        else:
            self.next_identity = None

    def set_identity(self, interval_ms, identity):
        self.identity = identity
        self.interval = interval_ms / 1000.0
        if identity and self.interval > 0:
            self.next_identity = time.monotonic()
        else:
            self.next_identity = None
        self.write_status("plugged")

    # --- host to device ----------------------------------------------------
    def on_readable(self):
        try:
            data = os.read(self.master, 65536)
        except BlockingIOError:
            return
        except OSError as e:
            if e.errno == errno.EIO:  # the host closed the port
                self.check_host(time.monotonic())
                return
            raise
        if not data:
            return
        now = time.time()
        data = self.partial + data
        lines = data.split(b"\n")
        self.partial = lines.pop()
        for line in lines:
            self.received.append((now, line))
            self.log.write("%.6f %s\n" % (now, escape_bytes(line)))
        if lines:
            self.log.flush()

    # --- reporting -----------------------------------------------------------
    def status_fields(self, state):
        return [
            ("state", state),
            ("com", "COM%d" % self.com),
            ("pty", self.pty_path),
            ("vid", "%04X" % self.vid),
            ("pid", "%04X" % self.pid),
            ("serial", self.serial),
            ("identity", self.identity),
            ("interval_ms", str(int(self.interval * 1000))),
            ("host_open", "1" if self.host_was_open else "0"),
            ("host_opens", str(self.host_opens)),
            ("lines_received", str(len(self.received))),
            ("bytes_sent", str(self.sent_bytes)),
            ("bytes_dropped", str(self.dropped_bytes)),
        ]

    def write_status(self, state):
        text = "".join("%s=%s\n" % kv for kv in self.status_fields(state))
        write_file_atomically(self.status_path, text)

    def close(self):
        if self.registered_events:
            self.daemon.selector.unregister(self.master)
            self.registered_events = 0
        if os.path.islink(self.link) and os.readlink(self.link) == self.pty_path:
            os.remove(self.link)
        os.close(self.master)
        self.log.close()
        self.write_status("unplugged")


class Daemon:
    def __init__(self, args):
        self.control_dir = os.path.abspath(args.control_dir)
        os.makedirs(self.control_dir, exist_ok=True)
        prefix = args.wineprefix or os.environ.get("WINEPREFIX")
        if not prefix:
            raise SystemExit("device_emulator: no Wine prefix (set WINEPREFIX or --wineprefix)")
        self.dosdevices = os.path.join(prefix, "dosdevices")
        if not os.path.isdir(self.dosdevices):
            raise SystemExit("device_emulator: %s is not a directory" % self.dosdevices)
        self.registry_exe = args.registry_exe
        self.exit_with_client = args.exit_with_client
        self.devices = {}
        self.clients = {}
        self.had_client = False
        self.running = True
        self.selector = selectors.DefaultSelector()
        self.server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.server.bind(("127.0.0.1", args.port))
        self.server.listen(8)
        self.server.setblocking(False)
        self.selector.register(self.server, selectors.EVENT_READ, "server")
        self.port = self.server.getsockname()[1]
        write_file_atomically(os.path.join(self.control_dir, "pid"), "%d\n" % os.getpid())
        write_file_atomically(os.path.join(self.control_dir, "port"), "%d\n" % self.port)
        self.daemon_log = open(os.path.join(self.control_dir, "daemon.log"), "a", encoding="utf-8")
        self.note("listening on 127.0.0.1:%d, prefix %s" % (self.port, prefix))

    def note(self, text):
        self.daemon_log.write("%.6f %s\n" % (time.time(), text))
        self.daemon_log.flush()

    # --- registry through the Windows helper (Linux-side use only) ---------
    def run_registry(self, *args):
        if not self.registry_exe:
            return
        # Now and then a process started through wine ends with an error code
        # and no word (seen on busy runs); the edit itself is safe to repeat.
        for attempt in range(3):
            result = subprocess.run(
                ["wine", self.registry_exe] + [str(a) for a in args],
                stdout=subprocess.PIPE,
                stderr=subprocess.STDOUT,
            )
            if result.returncode == 0:
                return
            output = result.stdout.decode(errors="replace").strip()
            self.note("registry helper %s exited with %d: %s" % (" ".join(map(str, args)), result.returncode, output))
            time.sleep(0.2)
        raise ControlError("registry helper failed (exit code %d): %s" % (result.returncode, output))

    # --- main loop ---------------------------------------------------------------
    def run(self):
        while self.running:
            now = time.monotonic()
            timeout = 1.0
            for dev in list(self.devices.values()):
                dev.check_host(now)
                if dev.next_identity is not None and dev.host_was_open:
                    if dev.next_identity <= now:
                        dev.send_identity(now)
                    if dev.next_identity is not None:
                        timeout = min(timeout, max(0.0, dev.next_identity - now))
            if self.devices:
                timeout = min(timeout, HOST_POLL_SECONDS)
            for key, events in self.selector.select(timeout):
                data = key.data
                if data == "server":
                    self.accept()
                elif isinstance(data, Device):
                    if data.com not in self.devices:
                        continue
                    if events & selectors.EVENT_READ:
                        data.on_readable()
                    if events & selectors.EVENT_WRITE and data.com in self.devices:
                        data.flush()
                        data.update_registration()
                else:
                    self.on_client(key.fileobj)
        self.shutdown()

    def accept(self):
        conn, _ = self.server.accept()
        conn.setblocking(False)
        # One reply per request: a client that pipelines requests must not wait
        # for the delayed acknowledgement before each reply leaves.
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.clients[conn] = b""
        self.had_client = True
        self.selector.register(conn, selectors.EVENT_READ, "client")

    def on_client(self, conn):
        try:
            data = conn.recv(65536)
        except (BlockingIOError, InterruptedError):
            return
        except OSError:
            data = b""
        if not data:
            self.drop_client(conn)
            return
        buf = self.clients[conn] + data
        lines = buf.split(b"\n")
        self.clients[conn] = lines.pop()
        for line in lines:
            reply = self.handle(line.rstrip(b"\r").decode("latin-1"))
            try:
                conn.setblocking(True)
                conn.sendall(reply.encode("latin-1") + b"\n")
                conn.setblocking(False)
            except OSError:
                self.drop_client(conn)
                return

    def drop_client(self, conn):
        self.selector.unregister(conn)
        del self.clients[conn]
        conn.close()
        if self.exit_with_client and not self.clients:
            self.note("control client gone, exiting")
            self.running = False

    # --- control requests ----------------------------------------------------
    def handle(self, line):
        try:
            return self.dispatch(line)
        except ControlError as e:
            return "ERR %s" % e
        except (ValueError, IndexError) as e:
            return "ERR bad request: %s" % e
        except OSError as e:
            return "ERR %s" % e

    def device(self, com_text):
        com = int(com_text)
        if com not in self.devices:
            raise ControlError("COM%d is not plugged" % com)
        return self.devices[com]

    def dispatch(self, line):
        verb, _, rest = line.partition(" ")
        verb = verb.upper()
        if verb == "PING":
            return "OK pong"
        if verb == "QUIT":
            self.running = False
            return "OK"
        if verb == "PLUG":
            return self.plug(rest)
        if verb == "LIST":
            return "OK " + " ".join("COM%d" % c for c in sorted(self.devices))
        com_text, _, args = rest.partition(" ")
        if verb == "UNPLUG":
            self.unplug(int(com_text))
            return "OK"
        dev = self.device(com_text)
        if verb == "IDENTITY":
            interval_text, _, identity = args.partition(" ")
            dev.set_identity(int(interval_text), identity)
            return "OK"
        if verb == "SILENT":
            dev.set_identity(0, dev.identity)
            return "OK"
        if verb == "SEND":
            return "OK %.6f" % dev.queue(args.encode("latin-1") + b"\n")
        if verb == "RAW":
            return "OK %.6f" % dev.queue(bytes.fromhex(args))
        if verb == "LONG":
            length_text, _, fill = args.partition(" ")
            fill = (fill or "X").encode("latin-1")[:1]
            return "OK %.6f" % dev.queue(fill * int(length_text) + b"\n")
        if verb == "BURST":
            count_text, _, prefix = args.partition(" ")
            data = b"".join(b"%s%d\n" % (prefix.encode("latin-1"), i) for i in range(int(count_text)))
            return "OK %.6f" % dev.queue(data)
        if verb == "LINES":
            start = int(args) if args else 0
            items = ["%.6f:%s" % (ts, data.hex()) for ts, data in dev.received[start:]]
            return "OK %d %s" % (len(dev.received), " ".join(items))
        if verb == "STATUS":
            dev.check_host(time.monotonic())
            return "OK " + " ".join("%s=%s" % (k, v.replace(" ", "_")) for k, v in dev.status_fields("plugged"))
        if verb == "CLEAR":
            dev.received.clear()
            return "OK"
        raise ControlError("unknown request %s" % verb)

    def plug(self, rest):
        parts = rest.split(" ", 5)
        com = int(parts[0])
        vid = int(parts[1], 16)
        pid = int(parts[2], 16)
        serial = parts[3]
        interval_ms = int(parts[4]) if len(parts) > 4 else DEFAULT_IDENTITY_INTERVAL_MS
        identity = parts[5] if len(parts) > 5 else ""
        if com < 1 or com > 256:
            raise ControlError("COM number out of range")
        if com in self.devices:
            self.unplug(com)
        dev = Device(self, com, vid, pid, serial, interval_ms, identity)
        self.devices[com] = dev
        try:
            self.run_registry("add", com, "%04X" % vid, "%04X" % pid, serial)
        except ControlError:
            self.unplug(com)
            raise
        self.note("plugged COM%d on %s" % (com, dev.pty_path))
        return "OK %s" % dev.pty_path

    def unplug(self, com):
        dev = self.devices.pop(com, None)
        if dev is None:
            return
        # The registry entry goes first, then the port itself.
        try:
            self.run_registry("remove", com, "%04X" % dev.vid, "%04X" % dev.pid, dev.serial)
        finally:
            dev.close()
            self.note("unplugged COM%d" % com)

    def shutdown(self):
        for com in list(self.devices):
            try:
                self.unplug(com)
            except ControlError as e:
                self.note("unplug COM%d at exit: %s" % (com, e))
        for conn in list(self.clients):
            conn.close()
        self.server.close()
        self.note("stopped")
        for name in ("port", "pid"):
            try:
                os.remove(os.path.join(self.control_dir, name))
            except OSError:
                pass


def serve(args):
    daemon = Daemon(args)

    def stop(signum, frame):
        daemon.running = False

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    daemon.run()


def request(args, line):
    port_file = os.path.join(args.control_dir, "port")
    with open(port_file) as f:
        port = int(f.read().strip())
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(line.encode("latin-1") + b"\n")
        reply = b""
        while not reply.endswith(b"\n"):
            chunk = s.recv(65536)
            if not chunk:
                break
            reply += chunk
    text = reply.decode("latin-1").rstrip("\n")
    print(text)
    return 0 if text.startswith("OK") else 1


def main():
    parser = argparse.ArgumentParser(description="Emulated USB-serial devices on Wine COM ports")
    parser.add_argument("--control-dir", required=True, help="folder for the port file, logs and status files")
    parser.add_argument("--wineprefix", help="Wine prefix (default $WINEPREFIX)")
    parser.add_argument("--port", type=int, default=0, help="control TCP port (default: any free one)")
    parser.add_argument("--registry-exe", help="usb_registry.exe: register plugged devices for SetupAPI through wine")
    parser.add_argument("--exit-with-client", action="store_true", help="exit when the last control connection closes")
    parser.add_argument("request", nargs=argparse.REMAINDER, help="send one control request to a running daemon")
    args = parser.parse_args()
    if args.request:
        return request(args, " ".join(args.request))
    serve(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
