#!/usr/bin/env bash
# Installs what is missing, builds everything for Windows and runs every test
# under Wine. Exits with ctest's status.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_deps.sh

build_dir=${BKF_BUILD_DIR:-build}
cmake -S . -B "$build_dir"
cmake --build "$build_dir" -j"$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure
