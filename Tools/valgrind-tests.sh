#!/usr/bin/env bash
# Runs the end-to-end suite (build/debug/bin/EndToEndTests) with every quillmere-host it starts
# under valgrind's memcheck: a wrapper named quillmere-host in a folder of its own hands each run
# to valgrind, and the suite is pointed at that folder. The module is loaded, run and unloaded
# inside the host as in the host application. Any memcheck error or definite leak fails the run
# (valgrind's own exit status 99, and its log), and so does a file descriptor left open at exit:
# the suite starts each run with the three standard descriptors only, so valgrind's list of the
# others (--track-fds=yes) may name its own log file and nothing else. Needs the debug build; takes
# a few minutes.
set -euo pipefail
cd "$(dirname "$0")/.."

bin="$PWD/build/debug/bin"
work="$PWD/build/valgrind"
rm -rf "$work"
mkdir -p "$work/bin" "$work/logs"

cat >"$work/bin/quillmere-host" <<WRAPPER
#!/bin/sh
exec valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect \\
    --errors-for-leak-kinds=definite,indirect --track-fds=yes --log-file="$work/logs/%p.log" \\
    "$bin/quillmere-host" "\$@"
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

# What a log holds besides the descriptor list's heading and valgrind's own log file, which it
# opened before the program started: memcheck's reports and every other descriptor open at exit.
# Prints the names of the logs with a report, and those reports.
check_logs() {
    python3 - "$@" <<'PY'
import os, re, sys
reported = []
for log in sys.argv[1:]:
    lines = [re.sub(r"^==\d+== ?", "", line.rstrip("\n")) for line in open(log, errors="replace")]
    rest = []
    at = 0
    while at < len(lines):
        line = lines[at]
        opened = re.fullmatch(r"Open file descriptor \d+: (.*)", line)
        if (opened and at + 1 < len(lines) and lines[at + 1].strip() == "<inherited from parent>"
                and os.path.realpath(opened.group(1)) == os.path.realpath(log)):
            at += 2
            continue
        if line.strip() and not re.fullmatch(r"FILE DESCRIPTORS: \d+ open \(\d+ std\) at exit\.", line):
            rest.append(line)
        at += 1
    if rest:
        reported.append(log)
        if len(reported) <= 5:
            print(f"--- {log}")
            print("\n".join(rest))
print(f"valgrind memcheck: {len(sys.argv) - 1} quillmere-host runs, {len(reported)} with a report")
sys.exit(1 if reported else 0)
PY
}

check_logs "$work"/logs/*.log || status=1
exit $status
