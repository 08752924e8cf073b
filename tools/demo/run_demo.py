#!/usr/bin/env python3
"""A short session with the program, as a new user meets it.

Runs the real BrackenfoldDeviceInterface.exe under Wine against the stand-in
simulator and two emulated devices (a navigator and an autopilot panel), with
the sample command map tools/demo/CommandMapping.ini beside it, and tells in
plain words what happens: what the simulator receives, what each device
receives. Saves a screenshot of the main window.

Exits 0 when every step happened, 1 with the reason otherwise.

    run_demo.py --build-dir build [--start-wine]

Without --start-wine it uses the Wine prefix and display of the environment
(WINEPREFIX, DISPLAY), as ctest's Wine fixture sets them; with it, it starts
Xvfb on a display of its own and the build's Wine prefix, and stops them again.
"""

import argparse
import os
import re
import shutil
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from session import (Device, Emulator, Failure, OwnWineEnvironment, Program, REGISTRATION, SOURCE_DIR,
                     StandIn, TRANSMIT, close_all, find_window, screenshot, wine_environment)

COMMAND_MAP = os.path.join(SOURCE_DIR, "tools", "demo", "CommandMapping.ini")
OPEN = re.compile(r"^\S+ \d+ \d+ Open ")
STEP_TIMEOUT = 15.0
START_TIMEOUT = 60.0


def describe_host_line(text):
    if text == "|":
        return "ready: its buttons and LEDs are bound"
    if text == "!c":
        return "recalibrate"
    if text.startswith("<"):
        leds = text[1:]
        if leds and set(leds) == {"0"}:
            return "LEDs all off"
        return "LEDs " + ", ".join("%d %s" % (i + 1, "on" if c == "1" else "off") for i, c in enumerate(leds))
    return "value " + text


class Demo:
    def __init__(self, build_dir):
        self.build_dir = os.path.abspath(build_dir)
        self.bin_dir = os.path.join(self.build_dir, "bin")
        self.folder = os.path.join(self.build_dir, "demo")
        self.screenshot_path = os.path.join(self.folder, "main-window.png")
        self.started = time.monotonic()
        self.env = wine_environment()
        self.pipe = "bkf-demo-%d" % os.getpid()
        self.transmits = []       # (name, data) in the order the simulator got them
        self.registrations = []   # (kind, name, mapped name)
        self.log_lines = []       # the program's log, without time stamps
        self.connected = False    # the program has opened its SimConnect connection
        self.emulator = self.standin = self.program = None
        self.devices = []

    # --- telling what happens -------------------------------------------------
    def say(self, text):
        print("[%5.1f s] %s" % (time.monotonic() - self.started, text), flush=True)

    def poll(self):
        for line in self.program.log.read():
            text = line.split("]: ", 1)[1] if "]: " in line else line
            self.log_lines.append(text)
            if " has connected at port " in text or " has disconnected from port " in text or \
                    text.startswith("Assigning "):
                self.say("    program log: " + text)
        for line in self.standin.follower.read():
            if OPEN.match(line) and not self.connected:
                self.connected = True
                self.say("    the simulator accepted the program's connection")
                continue
            m = TRANSMIT.match(line)
            if m:
                data = int(m.group(2))
                self.transmits.append((m.group(3), data))
                self.say("    simulator got event %s, data %d" % (m.group(3), data - (1 << 32) if data >= 1 << 31 else data))
                continue
            m = REGISTRATION.match(line)
            if m:
                self.registrations.append((int(m.group(2)), m.group(3), m.group(4)))
                prefix = {1: "L:", 2: "H:"}.get(int(m.group(2)), "")
                self.say("    simulator's helper learnt: %s stands for %s%s" % (m.group(4), prefix, m.group(3)))
        for device in self.devices:
            for _, text in device.new_lines():
                self.say("    %s (%s) got \"%s\": %s" % (device.role, device.port, text, describe_host_line(text)))

    def wait_for(self, what, done, timeout=STEP_TIMEOUT, program_may_end=False):
        deadline = time.monotonic() + timeout
        while True:
            self.poll()
            if done():
                return
            code = self.program.exit_code()
            if code is not None and not program_may_end:
                raise Failure("the program ended (exit code %d) while waiting for %s" % (code, what))
            if time.monotonic() > deadline:
                raise Failure("%s did not happen within %.0f s" % (what, timeout))
            time.sleep(0.02)

    def settle(self, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self.poll()
            time.sleep(0.02)

    def expect_event(self, name, data, since, timeout=STEP_TIMEOUT):
        self.wait_for("event %s with data %d at the simulator" % (name, data),
                      lambda: (name, data) in self.transmits[since:], timeout)

    def expect_line(self, device, text, since):
        self.wait_for("line \"%s\" at the %s" % (text, device.role),
                      lambda: any(t == text for _, t in device.lines[since:]))

    def log_has(self, text):
        return any(text in line for line in self.log_lines)

    # --- the session ------------------------------------------------------------
    def setup(self):
        for name in ("BrackenfoldDeviceInterface.exe", "sim_standin.exe", "run_as_user.exe", "usb_registry.exe"):
            if not os.path.exists(os.path.join(self.bin_dir, name)):
                raise Failure("%s is missing: build the targets BrackenfoldDeviceInterface sim_standin "
                              "run_as_user usb_registry first" % os.path.join(self.bin_dir, name))
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.program = Program(self.bin_dir, self.folder, COMMAND_MAP, self.pipe, self.env)
        self.program.clear_preferences()
        self.standin = StandIn(self.bin_dir, self.folder, self.env, self.pipe, ["--sim", "0"])
        self.emulator = Emulator(os.path.join(self.folder, "devices"),
                                 os.path.join(self.bin_dir, "usb_registry.exe"), self.env)
        self.navigator = Device(self.emulator, "navigator", 30, 0x0001, "Brackenfold-Wayfinder4", 3, "1.4", "03")
        self.autopilot = Device(self.emulator, "autopilot panel", 31, 0x0002, "Brackenfold-Autoflight5", 7,
                                "2.1", "07")
        self.devices = [self.navigator, self.autopilot]

    def run(self):
        nav, ap = self.navigator, self.autopilot
        print("Brackenfold Device Interface: a short session")
        print("  program folder: %s (the sample command map CommandMapping.ini beside the program)" % self.folder)
        print("  preferences:    %s" % self.program.preferences)
        self.say("The simulator is running, but no flight is active yet.")
        for device in self.devices:
            device.plug()
            self.say("Plugged in the %s %s (unit %d) on %s." % (device.role, device.model, device.unit_id,
                                                                 device.port))
        self.say("Starting the program as a normal user.")
        self.program.start()
        self.wait_for("the program's connection to the simulator", lambda: self.connected, START_TIMEOUT)
        self.wait_for("both devices' connection",
                      lambda: all(self.log_has("%s with id %d has connected" % (d.model, d.unit_id))
                                  for d in self.devices), START_TIMEOUT)
        self.check_functions()

        self.say("The simulator starts the flight.")
        marks = [len(d.lines) for d in self.devices]
        self.standin.command("sim 1")
        for device, mark in zip(self.devices, marks):
            self.expect_line(device, "|", mark)
            self.expect_line(device, "<00", mark)
        self.wait_for("the helper's registration of L:DEMO_NAV_SOURCE",
                      lambda: any(r[1] == "DEMO_NAV_SOURCE" for r in self.registrations))

        self.say("> navigator: press and release DIRECT-TO.")
        self.press(nav, "BTN_DIRECT", "GPS_DIRECTTO_BUTTON", 0)
        self.say("> autopilot panel: press and release AP.")
        self.press(ap, "BTN_AP", "AP_MASTER", 0)
        self.say("> navigator: turn the course knob one step.")
        mark = len(self.transmits)
        nav.send("ENC_CRS=1", "ENC_CRS=0")
        self.expect_event("VOR1_OBI_INC", 1, mark)
        self.say("> navigator: a short press on CLR.")
        self.press(nav, "BTN_CLR", "GPS_CLEAR_BUTTON", 0)
        self.say("> autopilot panel: hold ALT for a second (a long press).")
        mark = len(self.transmits)
        ap.send("BTN_ALT=1")
        self.expect_event("AP_ALT_HOLD_OFF", 0, mark)
        ap.send("BTN_ALT=0")
        self.settle(0.3)
        if ("AP_ALT_HOLD", 0) in self.transmits[mark:]:
            raise Failure("the long press also sent the short-press event AP_ALT_HOLD")
        self.say("> navigator: press NAV, bound to the aircraft variable L:DEMO_NAV_SOURCE.")
        mapped = next(r[2] for r in self.registrations if r[1] == "DEMO_NAV_SOURCE")
        self.press(nav, "BTN_NAV", mapped, 0)

        self.say("The simulator switches the autopilot on (AUTOPILOT MASTER = 1).")
        mark = len(ap.lines)
        self.standin.command("set AUTOPILOT MASTER = 1")
        self.expect_line(ap, "<10", mark)

        self.say("Unplugging the navigator.")
        nav.unplug()
        self.wait_for("the navigator's disconnection",
                      lambda: self.log_has("%s with id %d has disconnected" % (nav.model, nav.unit_id)))
        self.settle(1.5)
        self.say("Plugging it in again.")
        mark = len(nav.lines)
        nav.plug()
        self.expect_line(nav, "|", mark)
        self.expect_line(nav, "<00", mark)
        self.say("> navigator: turn the course knob again.")
        mark = len(self.transmits)
        nav.send("ENC_CRS=1", "ENC_CRS=0")
        self.expect_event("VOR1_OBI_INC", 1, mark)

        self.take_screenshot()

        self.say("The simulator quits.")
        marks = [len(d.lines) for d in self.devices]
        self.standin.command("quit")
        self.wait_for("the program's end", lambda: self.program.exit_code() is not None, START_TIMEOUT,
                      program_may_end=True)
        self.settle(0.5)
        code = self.program.exit_code()
        self.say("The program ended with exit code %d." % code)
        if code != 0:
            raise Failure("the program ended with exit code %d, not 0" % code)
        for device, mark in zip(self.devices, marks):
            if not any(t == "<00" for _, t in device.lines[mark:]):
                raise Failure("the %s got no LEDs-off line when the program ended" % device.role)

    def press(self, device, command, event, data):
        mark = len(self.transmits)
        device.send(command + "=1", command + "=0")
        self.expect_event(event, data, mark)

    def check_functions(self):
        """Each device got its panel function, and DeviceMapping.ini keeps it."""
        expected = {self.navigator: "1", self.autopilot: "0"}

        def stored_functions():
            functions = {}
            for section in self.program.device_mapping().values():
                if "Port" in section and "Function" in section:
                    functions[section["Port"]] = section["Function"]
            return {device: next((f for port, f in functions.items() if port.endswith(device.port)), None)
                    for device in expected}

        # The program writes the file after it logged the connection: give it a moment.
        deadline = time.monotonic() + 10.0
        stored = stored_functions()
        while stored != expected and time.monotonic() < deadline:
            time.sleep(0.1)
            stored = stored_functions()
        for device, function in expected.items():
            if stored[device] != function:
                raise Failure("DeviceMapping.ini gives the %s function %s, not %s"
                              % (device.role, stored[device], function))
        self.say("Functions assigned and kept in DeviceMapping.ini: navigator CN1 (its command-map section "
                 "[Brackenfold-WayfinderX#CN1]), autopilot panel none (its section is named by its unit id: "
                 "[Brackenfold-Autoflight5#7]).")

    def take_screenshot(self):
        display = self.env["DISPLAY"]
        window, title = None, None
        deadline = time.monotonic() + STEP_TIMEOUT
        while window is None:
            window, title = find_window(display, "Brackenfold Device Interface")
            if window is None and time.monotonic() > deadline:
                raise Failure("the main window is not on display %s" % display)
            self.poll()
            time.sleep(0.1)
        self.settle(0.5)  # let the list repaint after the last changes
        screenshot(display, window, self.screenshot_path)
        self.say("Screenshot of the main window (\"%s\"): %s" % (title, self.screenshot_path))

    def close(self):
        close_all(self.program, self.standin, self.emulator)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(SOURCE_DIR, "build"))
    parser.add_argument("--start-wine", action="store_true",
                        help="start Xvfb and the wineserver here instead of using the running ones")
    args = parser.parse_args()

    wine = None
    demo = None
    try:
        if args.start_wine:
            wine = OwnWineEnvironment(os.path.abspath(args.build_dir))
            wine.start()
        for name in ("WINEPREFIX", "DISPLAY"):
            if not os.environ.get(name):
                raise Failure("%s is not set (use --start-wine to start a Wine environment)" % name)
        demo = Demo(args.build_dir)
        demo.setup()
        demo.run()
        elapsed = time.monotonic() - demo.started
        print("Demo passed in %.0f s: every step happened. Screenshot: %s" % (elapsed, demo.screenshot_path))
        return 0
    except Failure as e:
        print("Demo FAILED: %s" % e, flush=True)
        if demo is not None and demo.program is not None:
            print("  (the program's log: %s)" % demo.program.log.path)
        return 1
    finally:
        if demo is not None:
            demo.close()
        if wine is not None:
            wine.stop()


if __name__ == "__main__":
    sys.exit(main())
