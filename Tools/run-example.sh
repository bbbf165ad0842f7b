#!/usr/bin/env bash
# The main job: installs what the Linux build lacks (Tools/install-deps.sh --linux), builds the
# module and the programs and nothing else (the programs preset, in build/programs: no tests, so no
# GoogleTest either), and runs the test host on the example project (a clinic made with the IFC-SG
# 2025.1 configuration) with the newer 2026.1 configuration, in which a group and a property were
# renamed. It prints the steps of the import, a table of the owned values before and after (kept,
# changed or lost) and a one-line summary. The rename table beside the newer configuration carries
# the renamed group's and property's values over.
# Further arguments go to quillmere-host, e.g. Tools/run-example.sh --json /tmp/run.json
set -euo pipefail
cd "$(dirname "$0")/.."

Tools/install-deps.sh --linux

cmake --preset programs
cmake --build --preset programs

echo
build/programs/bin/quillmere-host \
    --project Examples/CommunityClinic.xml \
    --choose Examples/Configurations/IFC-SG-2026.xml \
    "$@"
