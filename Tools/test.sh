#!/usr/bin/env bash
# Installs what either build lacks, builds everything and runs every test: the Linux suites (unit,
# ABI, end-to-end and reliability), again under AddressSanitizer and UndefinedBehaviorSanitizer,
# the end-to-end suite under valgrind's memcheck (Tools/valgrind-tests.sh), each fuzz target for
# 60 seconds (Tools/fuzz.sh), then the Windows cross-build and its checks under wine
# (Tools/wine-tests.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

Tools/install-deps.sh

cmake --preset debug
cmake --build --preset debug
ctest --preset debug

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

Tools/valgrind-tests.sh
FUZZ_SEED=1 Tools/fuzz.sh 60

cmake --preset windows
cmake --build --preset windows
Tools/wine-tests.sh
