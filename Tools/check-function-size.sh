#!/usr/bin/env bash
# Fails when a function of the module (Src/) has more than 40 lines, as clang-tidy counts them
# (readability-function-size: the body's lines, comments and blank lines included). A function that
# long does more than one thing; split it. Needs the debug build's compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."
found=$(find Src -name '*.cpp' | sort | xargs -P2 -n8 clang-tidy -p build/debug --quiet \
    -checks='-*,readability-function-size' -warnings-as-errors='readability-function-size' \
    -config='{CheckOptions: [{key: readability-function-size.LineThreshold, value: 40}]}' 2>&1 |
    grep -E "warning:|note: [0-9]+ lines" || true)
if [ -n "$found" ]; then
    echo "$found"
    exit 1
fi
echo "Src: no function over 40 lines"
