#!/usr/bin/env bash
# Runs the end-to-end suite (build/debug/bin/EndToEndTests) with every quillmere-host it starts
# under valgrind's memcheck: a wrapper named quillmere-host in a folder of its own hands each run
# to valgrind, and the suite is pointed at that folder. The module is loaded, run and unloaded
# inside the host as in the host application. Any memcheck error or definite leak fails the run
# (valgrind's own exit status 99, and its log). Needs the debug build; takes a few minutes.
set -euo pipefail
cd "$(dirname "$0")/.."

bin="$PWD/build/debug/bin"
work="$PWD/build/valgrind"
rm -rf "$work"
mkdir -p "$work/bin" "$work/logs"

cat >"$work/bin/quillmere-host" <<WRAPPER
#!/bin/sh
exec valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect \\
    --errors-for-leak-kinds=definite,indirect --log-file="$work/logs/%p.log" "$bin/quillmere-host" "\$@"
WRAPPER
chmod +x "$work/bin/quillmere-host"
# Everything else of the build folder is there by links, so that the suite finds the module file
# beside the program, and a path naming it through this folder names the same file.
for file in "$bin"/*; do
    [ "$(basename "$file")" = quillmere-host ] || ln -s "$file" "$work/bin/"
done

# Two shards of the suite at once, one a core.
status=0
pids=()
for shard in 0 1; do
    QUILLMERE_BIN_DIR="$work/bin" GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$shard \
        "$bin/EndToEndTests" --gtest_brief=1 >"$work/shard-$shard.txt" 2>&1 &
    pids+=($!)
done
for shard in 0 1; do
    wait "${pids[$shard]}" || status=1
    cat "$work/shard-$shard.txt"
done

runs=$(find "$work/logs" -name '*.log' | wc -l)
reported=$(find "$work/logs" -name '*.log' -size +0 | wc -l)
echo "valgrind memcheck: $runs quillmere-host runs, $reported with a report"
if [ "$reported" -ne 0 ]; then
    status=1
    find "$work/logs" -name '*.log' -size +0 | head -5 | xargs cat
fi
exit $status
