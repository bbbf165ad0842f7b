#!/usr/bin/env bash
# Builds the release preset, runs quillmere_bench on the configurations of docs/performance.md and
# draws the scaling plot. Output goes to build/bench/ (bench.txt, bench.tsv, performance-scaling.png);
# the plot needs gnuplot (Debian's gnuplot-nox). Extra arguments go to quillmere_bench, e.g.
#   Bench/run-bench.sh --rounds 7
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build/bench"
cd "$root"
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere_bench
mkdir -p "$out"
build/release/bin/quillmere_bench \
    --config 10000:20 --config 30000:20 --config 100000:20 --config 300000:20 --config 100000:100 \
    --tsv "$out/bench.tsv" "$@" | tee "$out/bench.txt"
if command -v gnuplot >/dev/null; then
    gnuplot -e "tsv='$out/bench.tsv'; png='$out/performance-scaling.png'" Bench/plot-scaling.gp
    echo "plot: $out/performance-scaling.png"
else
    echo "gnuplot is missing (apt-get install gnuplot-nox): no plot"
fi
