#!/usr/bin/env bash
# The program as a user meets it. On Debian 12 as root: installs what is
# missing, builds the program and the stand-ins it needs, then plays a short
# session under Wine on a display of its own: the stand-in simulator, an
# emulated navigator and autopilot panel, presses, an LED, an unplug, the
# simulator quitting. Prints what happens and saves a screenshot of the main
# window. Exits 0 only when every step happened.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_deps.sh

build_dir=${BKF_BUILD_DIR:-build}
cmake -S . -B "$build_dir"
cmake --build "$build_dir" -j"$(nproc)" \
  --target BrackenfoldDeviceInterface sim_standin run_as_user usb_registry
exec python3 tools/demo/run_demo.py --build-dir "$build_dir" --start-wine
