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
# The Windows cross-build (GoogleTest's sources are compiled for Windows; dpkg-source unpacks the
# source packages below, and tclsh makes SQLite's amalgamation) and its checks under wine on a
# virtual display, with the tools that take the dialog's picture.
windows_packages=(
    googletest g++-mingw-w64-x86-64
    dpkg-dev tcl
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

# The Windows cross-build compiles what Debian ships for Linux only from Debian's own source
# packages, fetched through apt into build/third_party (never committed): pugixml for the test host,
# and SQLite and expat, which the module links in. Each is the source of the version installed here
# for Linux, so that both builds hold the same library; where that version's source cannot be had
# (the index has moved on, or a mirror lacks it), the newest source that can is taken, and said so.
third_party="$(cd "$(dirname "$0")/.." && pwd)/build/third_party"
source_list=/etc/apt/sources.list.d/quillmere-deb-src.sources

# The versions of source package PACKAGE in apt's source index, newest first.
source_versions() {
    apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -rV
}

# Debian's source package index in a file of its own next to the system's lists (which stay as
# they are), for the release, its updates and its security updates, as the binary packages come.
add_source_index() {
    local entries
    entries=$(printf '%s\n' \
        "Types: deb-src" \
        "URIs: http://deb.debian.org/debian" \
        "Suites: bookworm bookworm-updates" \
        "Components: main" \
        "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" \
        "" \
        "Types: deb-src" \
        "URIs: http://deb.debian.org/debian-security" \
        "Suites: bookworm-security" \
        "Components: main" \
        "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg")
    if [ "$(cat "$source_list" 2>/dev/null)" != "$entries" ]; then
        echo "Adding Debian's source package index (deb-src bookworm, bookworm-updates, bookworm-security)"
        printf '%s\n' "$entries" | "${sudo_cmd[@]}" tee "$source_list" >/dev/null
        "${sudo_cmd[@]}" apt-get update -q
    fi
}

# Fetches source package PACKAGE of the version that binary package BINARY has here (or the newest
# that can be had) and unpacks it, Debian's patches applied, as build/third_party/NAME-source. Sets
# source_version; exits the script when no version can be fetched.
fetch_source() {
    local package=$1 binary=$2 name=$3 installed version log=$third_party/download/$1.log
    installed=$(dpkg-query -W -f='${source:Version}' "$binary")
    source_versions "$package" | grep -qxF "$installed" || add_source_index
    mkdir -p "$third_party/download"
    source_version=
    for version in "$installed" $(source_versions "$package"); do
        source_versions "$package" | grep -qxF "$version" || continue
        if (cd "$third_party/download" && apt-get source -q --download-only "$package=$version") >"$log" 2>&1; then
            source_version=$version
            break
        fi
    done
    if [ -z "$source_version" ]; then
        cat "$log" >&2
        echo "no source of Debian's $package could be fetched" >&2
        exit 1
    fi
    if [ "$source_version" != "$installed" ]; then
        echo "Debian's $package $installed (installed) has no source to be had; taking $source_version"
    fi
    # Unpacked where the files are, so that dpkg-source's copies of the tarballs stay there too.
    rm -rf "$third_party/download/$name" "$third_party/$name-source"
    (cd "$third_party/download" && dpkg-source -x "${package}_${source_version#*:}.dsc" "$name") >"$log" 2>&1 ||
        { cat "$log" >&2; exit 1; }
    mv "$third_party/download/$name" "$third_party/$name-source"
    printf '%s\n%s\n' "$installed" "$source_version" >"$third_party/$name-source/quillmere-debian-source"
}

# Whether build/third_party/NAME was made for the version that binary package BINARY has here.
made_for_installed() {
    [ "$(head -n1 "$third_party/$1/quillmere-debian-source" 2>/dev/null)" = "$(dpkg-query -W -f='${source:Version}' "$2")" ]
}

# pugixml: its whole source folder.
if [ ! -f "$third_party/pugixml/src/pugixml.cpp" ]; then
    fetch_source pugixml libpugixml-dev pugixml
    rm -rf "$third_party/pugixml"
    mv "$third_party/pugixml-source" "$third_party/pugixml"
fi

# SQLite: Debian's source package holds SQLite's whole source tree; its build makes the single-file
# amalgamation sqlite3.c (with tclsh), configured for this machine's own compiler. Only sqlite3.c
# and sqlite3.h are kept, as build/third_party/sqlite3.
if ! made_for_installed sqlite3 libsqlite3-dev; then
    fetch_source sqlite3 libsqlite3-dev sqlite3
    echo "Making SQLite's amalgamation sqlite3.c from Debian's sqlite3 $source_version"
    tree=$third_party/sqlite3-source
    rm -rf "$third_party/sqlite3-build" "$third_party/sqlite3"
    mkdir -p "$third_party/sqlite3-build" "$third_party/sqlite3"
    (
        cd "$third_party/sqlite3-build"
        "$tree/configure" CC=gcc >configure.log 2>&1 || { cat configure.log >&2; exit 1; }
        make -j2 sqlite3.c >make.log 2>&1 || { cat make.log >&2; exit 1; }
    )
    cp "$third_party/sqlite3-build/sqlite3.c" "$third_party/sqlite3-build/sqlite3.h" \
        "$tree/quillmere-debian-source" "$third_party/sqlite3"
    rm -rf "$third_party/sqlite3-build" "$tree"
fi

# expat: the library's own folder in the source package (its lib/ sources among it), as
# build/third_party/expat.
if ! made_for_installed expat libexpat1-dev; then
    fetch_source expat libexpat1-dev expat
    echo "Taking expat's library from Debian's expat $source_version"
    rm -rf "$third_party/expat"
    mv "$third_party/expat-source/expat" "$third_party/expat"
    mv "$third_party/expat-source/quillmere-debian-source" "$third_party/expat"
    rm -rf "$third_party/expat-source"
fi
