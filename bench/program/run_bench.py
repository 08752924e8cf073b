#!/usr/bin/env python3
"""Figures of the whole program: the real BrackenfoldDeviceInterface.exe under
Wine, against the stand-in simulator and emulated devices. Run by hand
(bench/run.sh program [build dir], which starts the build's Wine environment);
prints a table.

- press latency: from a command line written by an emulated device to the
  TransmitClientEvent the stand-in receives;
- LED latency: from a simulator value change (stand-in "set") to the LED line
  at the device, with "Frame" at 30 Hz;
- load: 16 devices, each sending 100 command lines a second for 30 s: every
  line transmitted, none lost, order kept per device;
- idle cost: CPU time per second of the program's process with 8 idle devices
  attached, with and without "Frame" at 30 Hz;
- exit: from the simulator's quit to the end of the program's process, with
  16 devices attached and LED lines on their way to them (the program must
  end within 1 s), and how many devices got their LEDs-off line.

One clock. The emulator stamps each line it writes to a device's pty, and each
line it reads from one, with the Linux wall clock (time.time()); this driver
runs on the same clock. The stand-in stamps its record lines with its own
steady clock, counted from its start, whose zero point on the wall clock is
unknown. So the driver reads the record file in a loop that does not sleep
while it waits for something, and notes the wall-clock moment each line
appears: that moment minus the line's stamp is the zero point plus the delay
of writing and noticing the line. The smallest such difference over the whole
run is taken as the zero point (off by the smallest delay, some microseconds),
and every record stamp is moved onto the wall clock with it. The two clocks
drift apart by a few parts per million at most, microseconds over the run.
Measuring with the moment the line was noticed instead would add the
scheduling noise of this driver to every sample.
"""

import argparse
import os
import random
import re
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                "tools", "demo"))
from session import (Device, Emulator, Failure, Program, SOURCE_DIR, StandIn, close_all,  # noqa: E402
                     cpu_seconds, wine_environment)

DEVICE_COUNT = 16
IDLE_DEVICE_COUNT = 8
FIRST_COM = 40
MODEL = "Brackenfold-Autoflight5"
LOAD_COMMANDS = 100          # K0 .. K99 per device, each with its own data value
FRAME_MS = 33

TRANSMIT = re.compile(r"^(\S+) \d+ \d+ TransmitClientEvent .*\bdwData=(\d+) .*\bName=\"([^\"]*)\"")
COMMAND = re.compile(r"^(\S+) 0 - command \"(.*)\"$")


def percentile(samples, fraction):
    ordered = sorted(samples)
    index = max(0, min(len(ordered) - 1, int(-(-fraction * len(ordered) // 1)) - 1))
    return ordered[index]


def write_command_map(path):
    """One section per device (an autopilot panel has no panel function, so
    its section is named by its unit id): a press for the latency run, 100
    presses whose data tell device and line apart, one LED."""
    with open(path, "w", newline="\r\n") as f:
        f.write("[metadata]\nversion=1.0\ndescription=Whole-program benchmark\n")
        for unit in range(1, DEVICE_COUNT + 1):
            f.write("\n[%s#%d]\n" % (MODEL, unit))
            f.write("P+ = BENCH_PRESS\n")
            for k in range(LOAD_COMMANDS):
                f.write("K%d+ = BENCH_LOAD#%d\n" % (k, unit * 1000 + k))
            f.write("<1 = BENCH LIGHT|Bool#1\n")


class Bench:
    def __init__(self, build_dir, presses, led_changes, load_seconds, idle_seconds, drain_seconds):
        self.build_dir = os.path.abspath(build_dir)
        self.bin_dir = os.path.join(self.build_dir, "bin")
        self.folder = os.path.join(self.build_dir, "bench-program")
        self.presses = presses
        self.led_changes = led_changes
        self.load_seconds = load_seconds
        self.idle_seconds = idle_seconds
        self.drain_seconds = drain_seconds
        self.env = wine_environment()
        self.pipe = "bkf-bench-%d" % os.getpid()
        self.zero = None            # wall-clock time of the stand-in's record stamp 0
        self.light = 0              # the value of BENCH LIGHT
        self.transmits = []         # (record ms, name, data)
        self.commands = []          # (record ms, command text)
        self.emulator = self.standin = self.program = None
        self.devices = []

    # --- following the stand-in's record ------------------------------------------
    def poll(self):
        lines = self.standin.follower.read()
        now = time.time()
        for line in lines:
            stamp = line.split(" ", 1)[0]
            try:
                ms = float(stamp)
            except ValueError:
                continue
            zero = now - ms / 1000.0
            if self.zero is None or zero < self.zero:
                self.zero = zero
            m = TRANSMIT.match(line)
            if m:
                self.transmits.append((ms, m.group(3), int(m.group(2))))
                continue
            m = COMMAND.match(line)
            if m:
                self.commands.append((ms, m.group(2)))
        return bool(lines)

    def wall(self, ms):
        return self.zero + ms / 1000.0

    def wait_for(self, what, done, timeout=30.0, spin=False, devices=None):
        deadline = time.monotonic() + timeout
        while True:
            self.poll()
            for device in self.devices if devices is None else devices:
                device.new_lines()
            if done():
                return
            if self.program.exit_code() is not None:
                raise Failure("the program ended (exit code %d) while waiting for %s"
                              % (self.program.exit_code(), what))
            if time.monotonic() > deadline:
                raise Failure("%s did not happen within %.0f s" % (what, timeout))
            if not spin:
                time.sleep(0.005)

    # --- the runs ---------------------------------------------------------------------
    def setup(self):
        os.makedirs(self.folder, exist_ok=True)
        command_map = os.path.join(self.folder, "bench_command_map.ini")
        write_command_map(command_map)
        self.program = Program(self.bin_dir, self.folder, command_map, self.pipe, self.env)
        self.program.clear_preferences()
        self.standin = StandIn(self.bin_dir, self.folder, self.env, self.pipe,
                               ["--sim", "1", "--frame-ms", str(FRAME_MS), "--value", "BENCH LIGHT=0"])
        self.emulator = Emulator(os.path.join(self.folder, "devices"),
                                 os.path.join(self.bin_dir, "usb_registry.exe"), self.env)
        for unit in range(1, DEVICE_COUNT + 1):
            self.devices.append(Device(self.emulator, "device %d" % unit, FIRST_COM + unit - 1, unit, MODEL, unit,
                                       "1.0", "%02X" % unit, identity_ms=5000))
        self.program.start()
        self.plug(self.devices[:IDLE_DEVICE_COUNT])

    def plug(self, devices):
        for device in devices:
            device.plug()
        self.wait_for("the ready lines",
                      lambda: all(any(t == "|" for _, t in d.lines) for d in devices), timeout=120)
        self.wait_for("the first LED lines",
                      lambda: all(any(t.startswith("<") for _, t in d.lines) for d in devices))

    def plug_the_rest(self):
        self.plug(self.devices[IDLE_DEVICE_COUNT:])

    def press_latency(self):
        device = self.devices[0]
        sent = []
        for _ in range(self.presses):
            before = len(self.transmits)
            sent.append(device.send("P=1"))
            self.wait_for("a press at the simulator",
                          lambda: any(n == "BENCH_PRESS" for _, n, _ in self.transmits[before:]), spin=True,
                          devices=[])
            time.sleep(random.uniform(0.002, 0.010))  # presses fall at any phase of the program's loops
        received = [ms for ms, name, _ in self.transmits if name == "BENCH_PRESS"]
        if len(received) != self.presses:
            raise Failure("%d presses sent, %d transmitted" % (self.presses, len(received)))
        return sent, received

    def led_latency(self):
        device = self.devices[0]
        changes = []  # (command text, LED line expected)
        value = self.light
        for _ in range(self.led_changes):
            value = 1 - value
            self.light = value
            text = "set BENCH LIGHT = %d" % value
            mark = len(device.lines)
            self.standin.command(text)
            expected = "<%d" % value
            self.wait_for("LED line %s" % expected,
                          lambda: any(t == expected for _, t in device.lines[mark:]), timeout=10,
                          devices=[device])
            changes.append((text, next(ts for ts, t in device.lines[mark:] if t == expected)))
            time.sleep(random.uniform(0.0, 0.050))  # changes fall at any phase of the frame
        # The record's command lines, in order, are the moments the values changed.
        self.poll()
        stamps = [ms for ms, text in self.commands if text.startswith("set BENCH LIGHT = ")]
        stamps = stamps[-len(changes):]
        if len(stamps) != len(changes):
            raise Failure("the record holds %d of the %d value changes" % (len(stamps), len(changes)))
        return [(ms, seen) for (_, seen), ms in zip(changes, stamps)]  # (record ms, wall time at the device)

    def load(self):
        ticks = self.load_seconds * 100
        before = len(self.transmits)
        requests = self.devices
        send_times = {}
        start = time.monotonic()
        late = 0
        for tick in range(ticks):
            due = start + tick * 0.01
            while True:
                now = time.monotonic()
                if now >= due:
                    break
                self.poll()
                if due - now > 0.002:
                    time.sleep(0.001)
            if now - due > 0.01:
                late += 1
            k = tick % LOAD_COMMANDS
            # All sixteen requests in one write, then their sixteen replies.
            replies = self.emulator.requests(["RAW %d %s" % (d.com, ("K%d=1\n" % k).encode().hex())
                                              for d in requests])
            for d, reply in zip(requests, replies):
                send_times[(d.unit_id, tick)] = float(reply)
        elapsed = time.monotonic() - start
        last_sent = max(send_times.values())
        expected = ticks * len(requests)
        # Lines still queued in the program are late, not lost: wait while
        # transmissions go on coming, up to the drain limit.
        deadline = time.monotonic() + self.drain_seconds
        last_count, last_change = -1, time.monotonic()
        next_report = time.monotonic() + 30
        while time.monotonic() < deadline:
            self.poll()
            count = sum(1 for _, n, _ in self.transmits[before:] if n == "BENCH_LOAD")
            if count >= expected:
                break
            if count != last_count:
                last_count, last_change = count, time.monotonic()
            if time.monotonic() - last_change > 10:
                break
            if time.monotonic() > next_report:
                print("  %d of %d lines transmitted so far" % (count, expected), flush=True)
                next_report += 30
            time.sleep(0.05)
        per_device = {d.unit_id: [] for d in requests}
        for ms, name, data in self.transmits[before:]:
            if name == "BENCH_LOAD":
                unit, k = divmod(data, 1000)
                per_device.setdefault(unit, []).append((ms, k))
        wanted = [tick % LOAD_COMMANDS for tick in range(ticks)]
        out_of_order = 0
        latencies = []
        for unit, items in per_device.items():
            ks = [k for _, k in items]
            # In order and without a gap: what arrived is the start of what was sent.
            out_of_order += sum(1 for got, want in zip(ks, wanted) if got != want) + max(0, len(ks) - len(wanted))
            # Lines of one device repeat their data every 100 lines: the n-th
            # transmission answers the n-th line when the order is kept.
            if ks == wanted[:len(ks)]:
                for tick, (ms, _) in enumerate(items):
                    latencies.append((send_times[(unit, tick)], ms))  # (wall time sent, record ms)
        received = sum(len(v) for v in per_device.values())
        stamps = [ms for items in per_device.values() for ms, _ in items]
        last = (max(stamps), last_sent) if stamps else None
        rate = len(stamps) / ((max(stamps) - min(stamps)) / 1000.0) if len(stamps) > 1 else float("nan")
        return {"sent": expected, "received": received, "missing": expected - received,
                "out_of_order": out_of_order, "send_seconds": elapsed, "late_ticks": late,
                "latencies": latencies, "last": last, "rate": rate}

    def idle_cost(self):
        """Right after start, with the first 8 devices attached and idle."""
        time.sleep(3.0)
        pids = self.program.pids()
        if len(pids) != 1:
            raise Failure("expected one process of the program, found %s" % pids)
        pid = pids[0]
        results = {}
        for label, frame_ms in (("Frame 30 Hz", FRAME_MS), ("no Frame", 0)):
            self.standin.command("frame-ms %d" % frame_ms)
            time.sleep(2.0)
            cpu0, t0 = cpu_seconds(pid), time.monotonic()
            time.sleep(self.idle_seconds)
            cpu1, t1 = cpu_seconds(pid), time.monotonic()
            results[label] = (cpu1 - cpu0) / (t1 - t0)
        self.standin.command("frame-ms %d" % FRAME_MS)
        return results

    def set_light(self, value, device):
        """Changes BENCH LIGHT and waits for its LED line at the device."""
        mark = len(device.lines)
        self.standin.command("set BENCH LIGHT = %d" % value)
        self.light = value
        expected = "<%d" % value
        self.wait_for("LED line %s" % expected,
                      lambda: any(t == expected for _, t in device.lines[mark:]), timeout=10, spin=True,
                      devices=[device])

    def finish(self):
        """Quits the simulator while LED lines are on their way: a change of
        BENCH LIGHT to 1 makes the program queue one for every device, and the
        quit follows as soon as the first device has its line. Returns the exit
        code, the seconds from the quit to the end of the program's process and
        the number of devices that got the LEDs-off line after the quit."""
        pids = self.program.pids()
        if len(pids) != 1:
            raise Failure("expected one process of the program, found %s" % pids)
        pid = pids[0]
        if self.light == 1:
            self.set_light(0, self.devices[0])
        self.set_light(1, self.devices[0])
        quit_at = time.time()
        self.standin.command("quit")
        deadline = time.monotonic() + 120
        while process_runs(pid):
            if time.monotonic() > deadline:
                raise Failure("the program did not end after the simulator quit")
            time.sleep(0.001)
        exit_seconds = time.time() - quit_at
        while self.program.exit_code() is None:
            if time.monotonic() > deadline:
                raise Failure("the program's starter did not end")
            time.sleep(0.05)
        # The lines were written before the ports closed; the emulator logs
        # them as it reads them.
        def off_lines():
            return sum(1 for d in self.devices if any(ts >= quit_at and t == "<0" for ts, t in d.lines))
        settle = time.monotonic() + 5
        while off_lines() < len(self.devices) and time.monotonic() < settle:
            for d in self.devices:
                d.new_lines()
            time.sleep(0.05)
        return self.program.exit_code(), exit_seconds, off_lines()

    def close(self):
        close_all(self.program, self.standin, self.emulator)


def ms(seconds):
    return seconds * 1000.0


def process_runs(pid):
    """Whether the Linux process runs (a zombie has ended)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def main():
    parser = argparse.ArgumentParser(description="Whole-program benchmark under Wine")
    parser.add_argument("--build-dir", default=os.path.join(SOURCE_DIR, "build"))
    parser.add_argument("--presses", type=int, default=1000)
    parser.add_argument("--led-changes", type=int, default=300)
    parser.add_argument("--load-seconds", type=int, default=30)
    parser.add_argument("--idle-seconds", type=int, default=10)
    parser.add_argument("--drain-seconds", type=int, default=1200,
                        help="how long to wait at most for the last transmissions after the load")
    args = parser.parse_args()
    for name in ("WINEPREFIX", "DISPLAY"):
        if not os.environ.get(name):
            print("%s is not set: run through bench/run.sh program" % name, file=sys.stderr)
            return 2

    bench = Bench(args.build_dir, args.presses, args.led_changes, args.load_seconds, args.idle_seconds,
                  args.drain_seconds)
    try:
        bench.setup()
        print("program running with %d idle devices; measuring its CPU time..." % IDLE_DEVICE_COUNT, flush=True)
        idle = bench.idle_cost()
        bench.plug_the_rest()
        print("%d devices attached; presses..." % DEVICE_COUNT, flush=True)
        sent, received = bench.press_latency()
        print("LED changes...", flush=True)
        led = bench.led_latency()
        print("load...", flush=True)
        load = bench.load()
        print("quit...", flush=True)
        code, exit_seconds, off_lines = bench.finish()
    except Failure as e:
        print("benchmark failed: %s" % e, file=sys.stderr)
        return 1
    finally:
        bench.close()

    # Record stamps go onto the wall clock only now, with the zero point that
    # the whole run has narrowed down.
    press = [ms(bench.wall(r) - s) for s, r in zip(sent, received)]
    led_ms = [ms(seen - bench.wall(r)) for r, seen in led]
    last = bench.wall(load["last"][0]) - load["last"][1] if load["last"] else float("nan")
    frame = FRAME_MS
    rows = [
        ("press latency, %d devices attached, %d presses" % (DEVICE_COUNT, len(press)),
         "median %.2f ms, p99 %.2f ms" % (percentile(press, 0.5), percentile(press, 0.99))),
        ("LED latency, Frame every %d ms, %d changes" % (frame, len(led_ms)),
         "median %.1f ms (%.2f frames), p99 %.1f ms (%.2f frames)" % (
             percentile(led_ms, 0.5), percentile(led_ms, 0.5) / frame,
             percentile(led_ms, 0.99), percentile(led_ms, 0.99) / frame)),
        ("load, %d devices x 100 lines/s x %d s" % (DEVICE_COUNT, args.load_seconds),
         "%d lines sent in %.1f s%s, %d transmitted, %d missing, %d out of order" % (
             load["sent"], load["send_seconds"],
             " (sender late on %d ticks)" % load["late_ticks"] if load["late_ticks"] else "",
             load["received"], load["missing"], load["out_of_order"])),
        ("  transmissions per second; last one after the last line",
         "%.0f /s; %.1f s" % (load["rate"], last)),
    ]
    if load["latencies"]:
        lat = [ms(bench.wall(r) - s) for s, r in load["latencies"]]
        rows.append(("  line to transmission under load",
                     "median %.0f ms, p99 %.0f ms" % (percentile(lat, 0.5), percentile(lat, 0.99))))
    for label, share in idle.items():
        rows.append(("idle CPU, %d devices, %s" % (IDLE_DEVICE_COUNT, label),
                     "%.1f ms CPU per s (%.2f %% of one core)" % (share * 1000, share * 100)))
    exit_ok = exit_seconds <= 1.0
    rows.append(("exit after the simulator's quit, %d devices, LED lines on their way" % DEVICE_COUNT,
                 "%.0f ms (limit 1000 ms%s); LEDs-off line at %d of %d devices" % (
                     ms(exit_seconds), "" if exit_ok else ", over", off_lines, DEVICE_COUNT)))
    rows.append(("exit code after the simulator quit", str(code)))
    width = max(len(r[0]) for r in rows)
    print()
    print("%-*s  %s" % (width, "measure", "result"))
    print("%s  %s" % ("-" * width, "-" * 40))
    for name, value in rows:
        print("%-*s  %s" % (width, name, value))
    ok = (load["missing"] == 0 and load["out_of_order"] == 0 and code == 0 and exit_ok
          and off_lines == DEVICE_COUNT)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
