#!/usr/bin/env bash
# Where the processor time of one kind of run of quillmere_store_bench goes, from perf: the
# command's phases and the store's calls (inclusive), and the store's time split into SQLite's own
# code, the kernel (its file reads, writes and syncs), the allocator and the module's code around
# them; milliseconds per run. Time off the processor (waiting for the disk's syncs, or for other
# programs) is not sampled: the benchmark's "block" and "queue" columns give it. Needs perf
# (Debian's linux-perf) and python3; builds the release preset's benchmark first.
#   Bench/profile-store.sh [KIND [ROUNDS [benchmark arguments...]]]
#   KIND: bring-back (the default), store, others-store, no-store; ROUNDS: 5 by default, e.g.
#   Bench/profile-store.sh bring-back 5 --shape 5000:20
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:-bring-back}"
rounds="${2:-5}"
shift $(( $# < 2 ? $# : 2 ))
cd "$root"
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere_store_bench >/dev/null
sqlite_library="$(sed -n 's/^QM_SQLITE_STATIC:FILEPATH=//p' build/release/CMakeCache.txt)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkfifo "$work/control" "$work/ack"
# The benchmark answers 1 when a target is not met: the profile is wanted all the more then.
status=0
perf record -q -o "$work/perf.data" -F 999 --call-graph dwarf,32768 --control "fifo:$work/control,$work/ack" -D -1 -- \
    build/release/bin/quillmere_store_bench --rounds "$rounds" --profile "$kind" \
    --perf-control "$work/control,$work/ack" "$@" | tee "$work/bench.txt" || status=$?
runs="$(sed -n 's/^profiled runs: \([0-9]*\).*/\1/p' "$work/bench.txt")"
nm --defined-only "$sqlite_library" 2>/dev/null | awk 'NF == 3 { print $3 }' | sort -u >"$work/sqlite-symbols"
perf script -i "$work/perf.data" -F period,ip,sym,dso --no-inline 2>/dev/null >"$work/samples"
python3 - "$work/samples" "$work/sqlite-symbols" "$runs" "$kind" <<'PYTHON'
import collections, re, sys
samples_path, symbols_path, runs, kind = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
sqlite_symbols = set(open(symbols_path).read().split())
frame = re.compile(r'^\s*[0-9a-f]+\s+(.*?)\s+\((.*)\)\s*$')
phases, store, where = collections.Counter(), collections.Counter(), collections.Counter()
total = 0
STORE = ('Quillmere::KeptStore::Read', 'Quillmere::KeptStore::WriteRunEnd', 'Quillmere::KeptStore::WriteSaved',
         'Quillmere::KeptStore::Open', 'Quillmere::KeptStore::HoldsAnything', 'Quillmere::KeptStore::AnchorIdentity')
def kind_of(symbol, dso):
    if 'kernel' in dso or dso.startswith('['):
        return 'kernel (file reads, writes, syncs)'
    if 'MemoryManager' in symbol or symbol in ('malloc', 'free', 'cfree', '_int_malloc', '_int_free', 'realloc') or 'pthread_mutex' in symbol:
        return 'allocator'
    if symbol in sqlite_symbols:
        return "SQLite's own code"
    if 'libc' in dso:
        return 'C library (copies, compares)'
    return "the module's code"
for block in open(samples_path).read().split('\n\n'):
    lines = block.strip().split('\n')
    if len(lines) < 2:
        continue
    period = int(lines[0].split()[0])
    frames = [m.groups() for m in map(frame.match, lines[1:]) if m]
    if not frames:
        continue
    total += period
    outer = [symbol for symbol, _ in reversed(frames)]
    # The command lives in an anonymous namespace: its symbol is "Quillmere::(anonymous namespace)::UpdateCommand".
    at = next((at for at, symbol in enumerate(outer) if symbol.endswith('::UpdateCommand')), None)
    if at is not None:
        phases[outer[at + 1] if at + 1 < len(outer) else 'UpdateCommand (itself)'] += period
    call = next((name for name in STORE if any(symbol == name or symbol.startswith('Quillmere::KeptStore::Attempt<' + name)
                                               for symbol in outer)), None)
    if call:
        store[call] += period
        where[kind_of(*frames[0])] += period
def show(title, counter):
    print(title)
    for name, period in counter.most_common():
        print('  %8.1f ms  %5.1f %%  %s' % (period / runs / 1e6, 100.0 * period / total, name))
print('\nProcessor time of the %d profiled %s runs: %.1f ms per run\n' % (runs, kind, total / runs / 1e6))
show('The command, by phase (inclusive):', phases)
show('\nThe store\'s calls (inclusive):', store)
show('\nThe store\'s calls, by where the processor was:', where)
PYTHON
exit "$status"
