#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest.
#
# Wine starts helper processes on demand (services, the desktop window's
# explorer, a device emulator a test spawns) and they live as long as the
# wineserver. Started from a test, they would inherit ctest's output pipe and
# ctest would wait for them forever. So the program writes to a file, and the
# file is copied to our output once the program has ended.
out=$(mktemp "${TMPDIR:-/tmp}/bkf-wine-XXXXXX.log")
wine "$@" </dev/null >"$out" 2>&1
status=$?
cat "$out"
rm -f "$out"
exit $status
