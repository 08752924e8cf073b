#!/usr/bin/env bash
# Stops the wineserver and the display that start.sh started. Usage: stop.sh <run-dir>
set -uo pipefail
run_dir=$1
: "${WINEPREFIX:?}"
wineserver -k 2>/dev/null
# -k only asks; wait until the server is gone so the next run can start afresh.
timeout 30 wineserver -w 2>/dev/null
if [ -f "$run_dir/xvfb.pid" ]; then
  kill "$(cat "$run_dir/xvfb.pid")" 2>/dev/null
  rm -f "$run_dir/xvfb.pid"
fi
echo "wine environment stopped"
exit 0
