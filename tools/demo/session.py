"""Runs the real program under Wine with the stand-in simulator and emulated
devices, and follows what each of them sees.

Shared by the demo (run_demo.py) and the whole-program benchmark
(bench/program/run_bench.py). Python standard library only.
"""

import configparser
import getpass
import glob
import os
import re
import shutil
import socket
import subprocess
import sys
import time

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EMULATOR_SCRIPT = os.path.join(SOURCE_DIR, "tools", "device_emulator", "device_emulator.py")
WINE_ENV_DIR = os.path.join(SOURCE_DIR, "tools", "wine_env")

PROGRAM_EXE = "BrackenfoldDeviceInterface.exe"
PREFERENCES_FOLDER_NAME = "Brackenfold MSFS Device Interface"
USB_VENDOR_ID = 0x32B6


class Failure(Exception):
    """Something the session expected did not happen."""


def win_path(path):
    """A Linux path as Wine's Z: drive shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_environment(env=None):
    env = dict(os.environ if env is None else env)
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree=;mshtml=")
    return env


def configured_display(build_dir):
    """The Xvfb display number the build's tests use (BKF_XVFB_DISPLAY)."""
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith("BKF_XVFB_DISPLAY:"):
                    return int(line.split("=", 1)[1].strip())
    except (OSError, ValueError):
        pass
    return 91


def free_display(first=190):
    """The first X display number from `first` on that no server holds."""
    for number in range(first, first + 100):
        if not os.path.exists("/tmp/.X%d-lock" % number) and not os.path.exists("/tmp/.X11-unix/X%d" % number):
            return number
    raise Failure("no free X display number from %d on" % first)


class OwnWineEnvironment:
    """Xvfb on a display of its own and the build's Wine prefix with its
    wineserver, for a run outside ctest. A wineserver that was already running
    for the prefix (a test run, say) is used and left running."""

    def __init__(self, build_dir):
        self.build_dir = build_dir
        self.run_dir = os.path.join(build_dir, "demo-wine-run")
        self.env = wine_environment()
        self.env["WINEPREFIX"] = os.path.join(build_dir, "wineprefix")
        self.env["DISPLAY"] = ":%d" % free_display()
        self.started_server = False

    def start(self):
        os.makedirs(self.run_dir, exist_ok=True)
        os.makedirs(self.env["WINEPREFIX"], exist_ok=True)
        # Exits non-zero when a server for this prefix already runs.
        with open(os.path.join(self.run_dir, "wineserver.log"), "w") as log:
            self.started_server = subprocess.run(
                ["setsid", "wineserver", "-p"], env=self.env,
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT).returncode == 0
        result = subprocess.run([os.path.join(WINE_ENV_DIR, "start.sh"), self.run_dir], env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if result.returncode != 0:
            raise Failure("could not start Xvfb and Wine: " + result.stdout.decode(errors="replace"))
        os.environ.update(self.env)

    def stop(self):
        if self.started_server:
            subprocess.run([os.path.join(WINE_ENV_DIR, "stop.sh"), self.run_dir], env=self.env,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            return
        pid_file = os.path.join(self.run_dir, "xvfb.pid")
        try:
            with open(pid_file) as f:
                os.kill(int(f.read().strip()), 15)
            os.remove(pid_file)
        except (OSError, ValueError):
            pass


class FileFollower:
    """The complete lines appended to a file since the last read. A file that
    shrank (rewritten) is read again from its start."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.partial = b""

    def rewind(self):
        self.offset = 0
        self.partial = b""

    def read(self):
        try:
            size = os.path.getsize(self.path)
        except OSError:
            return []
        if size < self.offset:
            self.rewind()
        if size == self.offset:
            return []
        with open(self.path, "rb") as f:
            f.seek(self.offset)
            data = f.read()
        self.offset += len(data)
        lines = (self.partial + data).split(b"\n")
        self.partial = lines.pop()
        return [line.rstrip(b"\r").decode("utf-8", "replace") for line in lines]


def unescape_host_line(text):
    """The emulator's log escapes backslashes and unprintable bytes."""
    return re.sub(r"\\(\\|x[0-9a-f]{2})",
                  lambda m: "\\" if m.group(1) == "\\" else chr(int(m.group(1)[1:], 16)), text)


class Emulator:
    """The device emulator daemon, driven over its control connection. It
    registers plugged devices for SetupAPI itself and ends when the control
    connection closes, so nothing is left behind by a driver that dies."""

    def __init__(self, control_dir, registry_exe, env):
        self.control_dir = control_dir
        shutil.rmtree(control_dir, ignore_errors=True)
        os.makedirs(control_dir)
        self.log = open(os.path.join(control_dir, "emulator.out"), "w")
        self.proc = subprocess.Popen(
            [os.environ.get("BKF_PYTHON", "/usr/bin/python3"), EMULATOR_SCRIPT,
             "--control-dir", control_dir, "--registry-exe", registry_exe, "--exit-with-client"],
            env=env, stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)
        port_file = os.path.join(control_dir, "port")
        deadline = time.monotonic() + 20
        while not os.path.exists(port_file):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise Failure("the device emulator did not start (see %s)" % self.log.name)
            time.sleep(0.05)
        with open(port_file) as f:
            port = int(f.read())
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=30)
        self.buffer = b""

    def request(self, line):
        return self.requests([line])[0]

    def requests(self, lines):
        """Sends the requests in one write, then reads their replies (the text
        after "OK"), in order."""
        self.sock.sendall("".join(line + "\n" for line in lines).encode("latin-1"))
        replies = []
        for line in lines:
            while b"\n" not in self.buffer:
                chunk = self.sock.recv(65536)
                if not chunk:
                    raise Failure("the device emulator closed its control connection")
                self.buffer += chunk
            reply, self.buffer = self.buffer.split(b"\n", 1)
            reply = reply.decode("latin-1")
            if not reply.startswith("OK"):
                raise Failure("device emulator: %s -> %s" % (line, reply))
            replies.append(reply[3:])
        return replies

    def close(self):
        try:
            self.request("QUIT")
        except (OSError, Failure):
            pass
        try:
            self.sock.close()
        except OSError:
            pass
        # The daemon removes each device's registry entry through Wine on its
        # way out, a fraction of a second per device: give it the time.
        try:
            self.proc.wait(timeout=120)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.log.close()


class Device:
    """One emulated device and the host lines it has received."""

    def __init__(self, emulator, role, com, product_id, model, unit_id, version, hex_id, identity_ms=2000):
        self.emulator = emulator
        self.role = role
        self.com = com
        self.product_id = product_id
        self.model = model
        self.unit_id = unit_id
        self.identity = "####Brackenfold#%s#%d#%s#%s" % (model, unit_id, version, hex_id)
        self.identity_ms = identity_ms
        self.serial = "DEMO%d" % com
        self.follower = FileFollower(os.path.join(emulator.control_dir, "com%d.log" % com))
        self.lines = []  # (unix time, text) of every host line, across plugs

    @property
    def port(self):
        return "COM%d" % self.com

    @property
    def key(self):
        """The key the program files the device under: unit id, model, hex id."""
        return "%d%s%s" % (self.unit_id, self.model, self.identity.rsplit("#", 1)[1])

    def plug(self):
        self.emulator.request("PLUG %d %04X %04X %s %d %s" % (
            self.com, USB_VENDOR_ID, self.product_id, self.serial, self.identity_ms, self.identity))
        self.follower.rewind()  # the log is rewritten at each plug

    def unplug(self):
        self.emulator.request("UNPLUG %d" % self.com)

    def send(self, *lines):
        """Sends the lines in one write; returns the emulator's send time."""
        data = "".join(line + "\n" for line in lines).encode("latin-1")
        return float(self.emulator.request("RAW %d %s" % (self.com, data.hex())))

    def new_lines(self):
        found = []
        for line in self.follower.read():
            stamp, _, text = line.partition(" ")
            try:
                entry = (float(stamp), unescape_host_line(text))
            except ValueError:
                continue
            self.lines.append(entry)
            found.append(entry)
        return found


TRANSMIT = re.compile(r"^(\S+) \d+ \d+ TransmitClientEvent .*\bdwData=(\d+) .*\bName=\"([^\"]*)\"")
REGISTRATION = re.compile(r"^(\S+) \d+ - helper-registration Page=\d+ Kind=(\d+) Name=\"([^\"]*)\" "
                          r"MappedName=\"([^\"]*)\"")


class StandIn:
    """The stand-in simulator on a pipe of its own, driven through its stdin."""

    def __init__(self, bin_dir, work_dir, env, pipe, extra_args=()):
        self.record_path = os.path.join(work_dir, "sim_record.txt")
        ready = os.path.join(work_dir, "sim_ready.txt")
        for path in (self.record_path, ready):
            if os.path.exists(path):
                os.remove(path)
        self.pipe = pipe
        self.out = open(os.path.join(work_dir, "sim_standin.out"), "w")
        self.proc = subprocess.Popen(
            ["wine", os.path.join(bin_dir, "sim_standin.exe"), "--pipe", pipe, "--no-registry",
             "--ready-file", win_path(ready), "--record", win_path(self.record_path)] + list(extra_args),
            cwd=work_dir, env=env, stdin=subprocess.PIPE, stdout=self.out, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 60
        while not os.path.exists(ready):
            if self.proc.poll() is not None:
                raise Failure("the stand-in simulator ended at start with code %d" % self.proc.returncode)
            if time.monotonic() > deadline:
                raise Failure("the stand-in simulator did not get ready")
            time.sleep(0.05)
        self.follower = FileFollower(self.record_path)
        self.started = time.time()

    def command(self, line):
        self.proc.stdin.write(line.encode("utf-8") + b"\n")
        self.proc.stdin.flush()

    def stop(self):
        if self.proc.poll() is None:
            try:
                self.command("quit")
                self.proc.stdin.close()
                self.proc.wait(timeout=15)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()
        self.out.close()


def write_simconnect_cfg(folder, pipe):
    with open(os.path.join(folder, "SimConnect.cfg"), "w", newline="\r\n") as f:
        f.write("[SimConnect]\nProtocol=Pipe\nAddress=.\nPort=%s\n" % pipe)


def preferences_folder(prefix):
    """The program's preferences folder inside the Wine prefix."""
    return os.path.join(prefix, "drive_c", "users", getpass.getuser(), "AppData", "Local",
                        PREFERENCES_FOLDER_NAME)


def linux_pids_of(windows_path):
    """Linux process ids of the Wine processes running that program file."""
    wanted = windows_path.lower().encode()
    found = []
    for entry in glob.glob("/proc/[0-9]*/cmdline"):
        try:
            with open(entry, "rb") as f:
                cmdline = f.read()
        except OSError:
            continue
        if cmdline.split(b"\0", 1)[0].lower() == wanted:
            found.append(int(entry.split("/")[2]))
    return found


def cpu_seconds(pid):
    """User plus system CPU time of a Linux process, in seconds."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of stat; fields[0] is field 3.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Program:
    """The program, copied with its command map into a folder of its own and
    started as a normal user would (Wine starts everything elevated)."""

    def __init__(self, bin_dir, folder, command_map, pipe, env):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.exe = os.path.join(folder, PROGRAM_EXE)
        shutil.copy2(os.path.join(bin_dir, PROGRAM_EXE), self.exe)
        shutil.copy2(command_map, os.path.join(folder, "CommandMapping.ini"))
        write_simconnect_cfg(folder, pipe)
        self.bin_dir = bin_dir
        self.env = env
        self.proc = None
        self.out = None
        self.preferences = preferences_folder(env["WINEPREFIX"])
        self.log = FileFollower(os.path.join(self.preferences, "BKF_Log.log"))

    def clear_preferences(self):
        shutil.rmtree(self.preferences, ignore_errors=True)

    def start(self):
        self.out = open(os.path.join(self.folder, "program.out"), "w")
        self.proc = subprocess.Popen(
            ["wine", os.path.join(self.bin_dir, "run_as_user.exe"), win_path(self.exe)],
            cwd=self.folder, env=self.env, stdin=subprocess.DEVNULL, stdout=self.out,
            stderr=subprocess.STDOUT)

    def exit_code(self):
        return None if self.proc is None else self.proc.poll()

    def pids(self):
        return linux_pids_of(win_path(self.exe))

    def device_mapping(self):
        """The sections of DeviceMapping.ini."""
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        parser.read(os.path.join(self.preferences, "DeviceMapping.ini"), encoding="latin-1")
        return {name: dict(parser[name]) for name in parser.sections()}

    def kill(self):
        """Ends a program that is still running (a failed session)."""
        for pid in self.pids():
            try:
                os.kill(pid, 9)
            except OSError:
                pass
        if self.proc is not None and self.proc.poll() is None:
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.out is not None:
            self.out.close()
            self.out = None


def close_all(program, standin, emulator):
    """Ends the program, the stand-in and the emulator, whichever were started."""
    for closer in (program and program.kill, standin and standin.stop, emulator and emulator.close):
        if closer:
            try:
                closer()
            except Exception as e:  # cleaning up after a failure must not hide it
                print("cleanup: %s" % e, file=sys.stderr)


def find_window(display, title_prefix):
    """The X window id of the top-level window whose title begins with the prefix."""
    result = subprocess.run(["xwininfo", "-display", display, "-root", "-children"],
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        m = re.match(r'\s*(0x[0-9a-f]+) "([^"]*)"', line)
        if m and m.group(2).startswith(title_prefix):
            return m.group(1), m.group(2)
    return None, None


def screenshot(display, window_id, path):
    result = subprocess.run(["import", "-display", display, "-window", window_id, path],
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0 or not os.path.exists(path) or os.path.getsize(path) == 0:
        raise Failure("screenshot failed: %s" % result.stdout.decode(errors="replace").strip())
