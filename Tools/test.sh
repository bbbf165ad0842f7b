#!/usr/bin/env bash
# Installs what either build lacks, builds everything and runs every test: the Linux suites (unit,
# ABI and end-to-end), again under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# Windows cross-build and its checks under wine (Tools/wine-tests.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

Tools/install-deps.sh

cmake --preset debug
cmake --build --preset debug
ctest --preset debug

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

cmake --preset windows
cmake --build --preset windows
Tools/wine-tests.sh
