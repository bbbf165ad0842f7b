#!/usr/bin/env bash
# Builds the fuzz targets (the fuzz preset: clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time: 60 seconds by default, as CI does,
# or as long as asked for. Usage:
#
#     Tools/fuzz.sh [SECONDS] [TARGET...]
#
# TARGET: backup_restore project_reader configuration_import rename_table
#
# Each target starts from its seeds (Fuzz/corpus/<target>, the inputs kept in
# Fuzz/regressions/<target> and the repository's example files) and from what earlier runs on this
# machine added to build/fuzz/corpus/<target>. An input that crashes, leaks, times out or breaks a
# target's checks is copied into Fuzz/regressions/<target>/, where the test suite replays it
# (FuzzReplay in ReliabilityTests), and the script fails. The last lines of each run give the
# executions, the coverage and the corpus size.
set -euo pipefail
cd "$(dirname "$0")/.."

# FUZZ_SEED fixes libFuzzer's random seed (CI uses 1, so that a run can be repeated); 0, the
# default, lets it choose one.
seed="${FUZZ_SEED:-0}"
seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(backup_restore project_reader configuration_import rename_table)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

export QUILLMERE_SOURCE_DIR="$PWD"
status=0
for target in "${targets[@]}"; do
    corpus="build/fuzz/corpus/$target"
    seeds="build/fuzz/seeds/$target"
    findings="build/fuzz/findings/$target"
    log="build/fuzz/$target.log"
    rm -rf "$seeds" "$findings"
    mkdir -p "$corpus" "$seeds" "$findings"
    cp Fuzz/corpus/"$target"/* "$seeds"/
    if [ -d "Fuzz/regressions/$target" ]; then
        find "Fuzz/regressions/$target" -type f ! -name '.*' -exec cp {} "$seeds"/ \;
    fi
    case "$target" in
        project_reader) cp Examples/CommunityClinic.xml "$seeds"/ ;;
        configuration_import) cp Examples/Configurations/IFC-SG-20??.xml "$seeds"/ ;;
        rename_table) cp Examples/Configurations/*.renames.xml "$seeds"/ ;;
    esac

    # Backup texts are kept short: a few elements exercise the restore as well as the example's
    # 67 do, and many more of them run in the same time.
    options=()
    case "$target" in
        backup_restore) options+=(-max_len=8192) ;;
    esac

    echo "== fuzz_$target for $seconds s"
    set +e
    "build/fuzz/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -seed="$seed" \
        "${options[@]}" -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1
    result=$?
    set -e
    grep -E '^#[0-9]+ +DONE|^stat::number_of_executed_units|^stat::average_exec_per_sec|^stat::peak_rss_mb' "$log" || true
    echo "corpus: $(find "$corpus" -type f | wc -l) inputs"
    if [ $result -ne 0 ]; then
        status=1
        echo "fuzz_$target found a fault (exit $result):"
        grep -E 'FUZZ FINDING|ERROR: |SUMMARY: |runtime error|Test unit written' "$log" | head -20 || true
        mkdir -p "Fuzz/regressions/$target"
        for artifact in "$findings"/*; do
            [ -f "$artifact" ] || continue
            cp "$artifact" "Fuzz/regressions/$target/"
            echo "kept as Fuzz/regressions/$target/$(basename "$artifact")"
            base64 -w0 "$artifact" | head -c 4000
            echo
        done
        tail -40 "$log"
    fi
done
exit $status
