#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks.
#
#   Tools/install-deps.sh           everything: the Linux build and its tests, and the Windows
#                                   cross-build with its checks under wine (Tools/test.sh)
#   Tools/install-deps.sh --linux   the Linux build and its tests only (Tools/run-example.sh)
set -euo pipefail

# The Linux build, its tests and benchmarks, the fuzz build (clang and its fuzzer runtime),
# clang-tidy (the function size check) and valgrind.
linux_packages=(
    cmake make g++ binutils python3
    librapidxml-dev libsqlite3-dev libexpat1-dev libpugixml-dev nlohmann-json3-dev sqlite3
    libgtest-dev libgmock-dev libbenchmark-dev
    libxml2-utils
    clang-14 libclang-rt-14-dev clang-tidy valgrind
)
# The Windows cross-build (GoogleTest's sources are compiled for Windows) and its checks under
# wine on a virtual display, with the tools that take the dialog's picture.
windows_packages=(
    googletest g++-mingw-w64-x86-64
    wine wine64 xvfb
    x11-apps netpbm
)

case "${1:-}" in
    --linux) windows=0 ;;
    "") windows=1 ;;
    *)
        echo "usage: $0 [--linux]" >&2
        exit 2
        ;;
esac
packages=("${linux_packages[@]}")
[ "$windows" = 1 ] && packages+=("${windows_packages[@]}")

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

if [ ${#missing[@]} -ne 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -q
    # With the packages' recommendations: wine's fonts and tools come that way.
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
fi

if [ "$windows" = 0 ]; then
    exit 0
fi

# The Windows cross-build compiles pugixml itself: Debian ships it for Linux only. Its source is
# Debian's own source package of the installed version, fetched through apt into build/third_party
# (never committed) and unpacked as build/third_party/pugixml.
third_party="$(cd "$(dirname "$0")/.." && pwd)/build/third_party"
if [ ! -f "$third_party/pugixml/src/pugixml.cpp" ]; then
    if ! apt-cache showsrc pugixml >/dev/null 2>&1; then
        # Source entries go into a file of their own next to the system's lists, which stay as they are.
        echo "Adding Debian's source package index (deb-src bookworm main)"
        printf '%s\n' \
            "Types: deb-src" \
            "URIs: http://deb.debian.org/debian" \
            "Suites: bookworm" \
            "Components: main" \
            "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
            "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/quillmere-deb-src.sources >/dev/null
        "${sudo_cmd[@]}" apt-get update -q
    fi
    version="$(dpkg-query -W -f='${source:Version}' libpugixml-dev)"
    mkdir -p "$third_party/download"
    (cd "$third_party/download" && apt-get source -q --download-only "pugixml=$version")
    rm -rf "$third_party/pugixml"
    mkdir -p "$third_party/pugixml"
    tar -xf "$third_party"/download/pugixml_"${version%-*}".orig.tar.* -C "$third_party/pugixml" --strip-components=1
fi
