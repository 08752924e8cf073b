#!/usr/bin/env python3
"""The device emulator driven from a Linux shell, as the demo does: daemon,
control requests from the command line, registry through usb_registry.exe."""

import os
import shutil
import subprocess
import sys
import time
import tty

SOURCE = os.environ["BKF_SOURCE_DIR"]
BIN = os.environ["BKF_BIN_DIR"]
PREFIX = os.environ["WINEPREFIX"]
SCRIPT = os.path.join(SOURCE, "tools", "device_emulator", "device_emulator.py")
CONTROL = os.path.join(os.environ["BKF_BINARY_DIR"], "device_emulator", "cli-test")
IDENTITY = "####Brackenfold#M2#9#2.0#1F"
KEY = r"HKLM\System\CurrentControlSet\Enum\USB\VID_32B6&PID_0001\EMUCLI20"

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def control(*words):
    result = subprocess.run(
        [sys.executable, SCRIPT, "--control-dir", CONTROL] + list(words),
        stdout=subprocess.PIPE, universal_newlines=True)
    return result.returncode, result.stdout.strip()


def reg_port_name():
    result = subprocess.run(["wine", "reg", "query", KEY + r"\Device Parameters", "/v", "PortName"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, universal_newlines=True)
    return result.stdout if result.returncode == 0 else None


def read_line(fd, timeout):
    deadline = time.monotonic() + timeout
    data = b""
    while b"\n" not in data and time.monotonic() < deadline:
        try:
            data += os.read(fd, 4096)
        except BlockingIOError:
            time.sleep(0.01)
    return data.split(b"\n")[0].decode("latin-1")


def main():
    shutil.rmtree(CONTROL, ignore_errors=True)
    daemon = subprocess.Popen([sys.executable, SCRIPT, "--control-dir", CONTROL,
                               "--registry-exe", os.path.join(BIN, "usb_registry.exe")])
    try:
        for _ in range(200):
            if os.path.exists(os.path.join(CONTROL, "port")):
                break
            time.sleep(0.05)
        check(control("PING") == (0, "OK pong"), "daemon answers")

        rc, reply = control("PLUG", "20", "32B6", "0001", "EMUCLI20", "300", IDENTITY)
        check(rc == 0 and reply.startswith("OK /dev/pts/"), "plug: " + reply)
        link = os.path.join(PREFIX, "dosdevices", "com20")
        check(os.path.realpath(link) == reply[3:], "com20 links to the pty")
        port_name = reg_port_name()
        check(port_name is not None and "COM20" in port_name, "registry PortName COM20")

        fd = os.open(link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(fd)
        check(read_line(fd, 3) == IDENTITY, "identity line read from the port")
        check(control("SEND", "20", "ENC_1=-1")[0] == 0, "send request")
        line = read_line(fd, 3)
        while line == IDENTITY:
            line = read_line(fd, 3)
        check(line == "ENC_1=-1", "command line read from the port")
        os.write(fd, b"|\n<10\\\x01\n")
        time.sleep(0.3)
        rc, reply = control("LINES", "20")
        items = [item.split(":")[1] for item in reply.split()[2:]]
        check(reply.split()[:2] == ["OK", "2"] and items == ["7c", "3c31305c01"], "host lines: " + reply)
        with open(os.path.join(CONTROL, "com20.log")) as log:
            texts = [l.rstrip("\n").split(" ", 1)[1] for l in log]
        check(texts == ["|", "<10\\\\\\x01"], "host lines in the log file: %r" % texts)
        status = open(os.path.join(CONTROL, "com20.status")).read()
        check("host_open=1" in status, "status file shows the port open")
        os.close(fd)

        check(control("UNPLUG", "20")[0] == 0, "unplug")
        check(reg_port_name() is None, "registry entry removed")
        check(not os.path.lexists(link), "com20 link removed")
        check("state=unplugged" in open(os.path.join(CONTROL, "com20.status")).read(), "status unplugged")
        check(control("SEND", "20", "X")[0] != 0, "requests to an unplugged device fail")

        check(control("QUIT")[0] == 0, "quit")
        daemon.wait(timeout=10)
        check(daemon.returncode == 0, "daemon exited cleanly")
    finally:
        if daemon.poll() is None:
            daemon.terminate()
            daemon.wait(timeout=10)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
