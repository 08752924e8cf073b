#!/usr/bin/env bash
# Runs a benchmark under Wine in the build's own prefix and display.
# Usage: bench/run.sh <benchmark.exe name> [build dir]
#        bench/run.sh program [build dir] [options of bench/program/run_bench.py]
#          (the whole program against the stand-in simulator and emulated devices)
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:?benchmark name, e.g. simconnect_bench}
build=$(realpath "${2:-build}")
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
export DISPLAY=:$(sed -n 's/^BKF_XVFB_DISPLAY:STRING=//p' "$build/CMakeCache.txt")
export BKF_BIN_DIR=$build/bin BKF_SOURCE_DIR=$PWD BKF_BINARY_DIR=$build
tools/wine_env/start.sh "$build/wine-run" >/dev/null
trap 'tools/wine_env/stop.sh "$build/wine-run" >/dev/null' EXIT
if [ "$name" = program ]; then
  python3 bench/program/run_bench.py --build-dir "$build" "${@:3}"
else
  wine "$build/bin/$name.exe"
fi
