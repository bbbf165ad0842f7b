#!/usr/bin/env bash
# Checks the Windows build and runs it under wine, on a virtual X display of its own (Xvfb) so that
# the module's real file dialog can come up:
#   0. Quillmere.dll as shipped: no debug information or symbols, which are in Quillmere.dll.debug
#      beside it, named by the DLL's debug link; the ZIP package (cpack) holds the DLL, the install
#      note and quillmere-renames.exe and nothing else;
#   1. the programs and DLLs import nothing but Windows' own DLLs and quillmere_platform.dll, and
#      quillmere-renames.exe, which users run on their own, not even that;
#   2. the Windows test program (the real file dialog answered by automation, the backup file in
#      text mode, the module file's exports, resources and unload, the SQLite and expat it links in);
#   3. a picture of the file dialog as the module opens it: build/windows/dialog-under-wine.png;
#   4. quillmere-host.exe on the examples, whose saved projects must equal those of the Linux
#      quillmere-host apart from line ends;
#   5. quillmere-renames.exe on the example editions, whose tables and reports must be the Linux
#      quillmere-renames' byte for byte, in a folder with a non-Latin name; an existing table stays
#      without --force.
# Needs build/windows (cmake --preset windows) and build/debug (cmake --preset debug; another
# Linux build folder through QUILLMERE_LINUX_BUILD), both built.
# The wine prefix lives in build/windows/wineprefix and is made on first use.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$SECONDS

windows_build=$root/build/windows
linux_build=${QUILLMERE_LINUX_BUILD:-$root/build/debug}
bin=$windows_build/bin
work=$windows_build/wine-tests
rm -rf "$work"
mkdir -p "$work"

export WINEPREFIX=$windows_build/wineprefix
export WINEDEBUG=-all
# A fresh prefix would offer to install Mono and Gecko; nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="

# The Windows form of a path on this machine: wine's drive Z: is the root folder.
windows_path() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}

# Wine's shell says this on each dialog: drive Z: is the root folder, which has no volume label.
quiet_wine() {
    sed -u '/Read access denied for device/d'
}

# --- 0. The DLL as shipped ------------------------------------------------------------------------
echo "== Quillmere.dll as shipped"
dll=$bin/Quillmere.dll
shipped_ok=1
shipped_fail() {
    echo "$1" >&2
    shipped_ok=0
}
dll_sections=$(x86_64-w64-mingw32-objdump -h "$dll" | awk '$1 ~ /^[0-9]+$/ { print $2 }')
if grep -q '^\.debug' <<<"$dll_sections"; then
    shipped_fail "Quillmere.dll carries debug sections: $(grep '^\.debug' <<<"$dll_sections" | tr '\n' ' ')"
fi
# (Listings go to files first: grep -q would end a pipe early, which pipefail takes for a failure.)
x86_64-w64-mingw32-objdump -t "$dll" >"$work/dll-symbols.txt"
if grep -q '^\[ *[0-9]' "$work/dll-symbols.txt"; then
    shipped_fail "Quillmere.dll carries a symbol table"
fi
# The symbol file: debug information and symbols, and the name and CRC-32 that the DLL's
# .gnu_debuglink gives (the name NUL-padded to a multiple of 4 bytes, then the checksum).
if [ ! -f "$dll.debug" ]; then
    shipped_fail "no symbol file $dll.debug"
else
    x86_64-w64-mingw32-objdump -h "$dll.debug" >"$work/debug-sections.txt"
    if ! grep -q ' \.debug_info ' "$work/debug-sections.txt"; then
        shipped_fail "Quillmere.dll.debug has no debug information"
    else
        for source in ModuleLifecycle.cpp AddOnMain.cpp; do
            grep -q -a -F "$source" "$dll.debug" ||
                shipped_fail "Quillmere.dll.debug has no debug information on $source"
        done
    fi
    x86_64-w64-mingw32-objdump -t "$dll.debug" >"$work/debug-symbols.txt"
    if ! grep -q ' GetExportedFuncAddrs$' "$work/debug-symbols.txt"; then
        shipped_fail "Quillmere.dll.debug has no symbols"
    fi
    # objcopy writes no file when the DLL has no such section.
    x86_64-w64-mingw32-objcopy --dump-section .gnu_debuglink="$work/debuglink" "$dll" "$work/dll-copy" 2>/dev/null || true
    [ -f "$work/debuglink" ] || : >"$work/debuglink"
    link_check=$(python3 - "$work/debuglink" "$dll.debug" <<'PY'
import struct, sys, zlib
link = open(sys.argv[1], "rb").read()
name, _, _ = link.partition(b"\0")
if not link:
    print("Quillmere.dll has no .gnu_debuglink section")
elif name != b"Quillmere.dll.debug":
    print(f"Quillmere.dll's debug link names {name!r}")
elif struct.unpack_from("<I", link, len(link) - 4)[0] != zlib.crc32(open(sys.argv[2], "rb").read()):
    print("Quillmere.dll's debug link checksum is not that of Quillmere.dll.debug")
PY
)
    [ -z "$link_check" ] || shipped_fail "$link_check"
fi
# The package as cpack makes it, in a folder of this run.
if ! cpack --config "$windows_build/CPackConfig.cmake" -G ZIP -B "$work/package" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    shipped_fail "cpack could not make the package"
else
    if python3 - "$work/package" "$dll" >"$work/package-check" <<'PY'; then
import glob, os, sys, zipfile
def fail(message):
    print(message)
    sys.exit(1)
packages = glob.glob(os.path.join(sys.argv[1], "Quillmere-*-win64.zip"))
if len(packages) != 1:
    fail(f"expected one Quillmere-*-win64.zip, found {packages}")
with zipfile.ZipFile(packages[0]) as package:
    top = os.path.basename(packages[0])[:-len(".zip")]
    files = sorted(info.filename for info in package.infolist() if not info.is_dir())
    if files != [f"{top}/INSTALL.txt", f"{top}/Quillmere.dll", f"{top}/quillmere-renames.exe"]:
        fail(f"{os.path.basename(packages[0])} holds {files}, not the DLL, INSTALL.txt and quillmere-renames.exe")
    if package.read(f"{top}/Quillmere.dll") != open(sys.argv[2], "rb").read():
        fail("the packaged Quillmere.dll is not the built one")
    renames = os.path.join(os.path.dirname(sys.argv[2]), "quillmere-renames.exe")
    if package.read(f"{top}/quillmere-renames.exe") != open(renames, "rb").read():
        fail("the packaged quillmere-renames.exe is not the built one")
    note = package.read(f"{top}/INSTALL.txt").decode("ascii")
    if "@" in note or "\r\n" not in note or "IFC_SG_Properties.xml" not in note:
        fail("INSTALL.txt is not the filled-in note with Windows line ends")
    print(f"{os.path.basename(packages[0])}: {', '.join(files)}")
PY
        cat "$work/package-check"
    else
        shipped_fail "$(cat "$work/package-check")"
    fi
fi
echo "Quillmere.dll: $(stat -c %s "$dll") bytes; Quillmere.dll.debug: $(stat -c %s "$dll.debug" 2>/dev/null || echo none) bytes"
[ "$shipped_ok" = 1 ] || exit 1

# --- 1. Imports --------------------------------------------------------------------------------
echo "== DLLs the Windows build imports"
system_dlls='^(kernel32|user32|gdi32|comdlg32|advapi32|version|shell32|shlwapi|ole32|oleaut32|comctl32|msvcrt|ucrtbase|ws2_32|bcrypt|api-ms-win-[a-z0-9-]+)\.dll$'
imports_ok=1
for file in "$bin"/*.dll "$bin"/*.exe; do
    while read -r dll; do
        lower=${dll,,}
        if [[ ! $lower =~ $system_dlls && $lower != quillmere_platform.dll ]]; then
            echo "$(basename "$file") imports $dll, which Windows does not have"
            imports_ok=0
        fi
    done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
    echo "$(basename "$file"): $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')"
done
# The users' program stands alone: it is shipped without the platform substitute.
if x86_64-w64-mingw32-objdump -p "$bin/quillmere-renames.exe" | grep -qi 'DLL Name: quillmere_platform.dll'; then
    echo "quillmere-renames.exe imports quillmere_platform.dll, which the package does not hold"
    imports_ok=0
fi
[ "$imports_ok" = 1 ] || exit 1

# --- The wine prefix and the display -------------------------------------------------------------
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== Making the wine prefix $WINEPREFIX"
    # Without a display nothing can pop up while the prefix is set up.
    DISPLAY='' wineboot -i 2>&1 | sed '/syswow64/d'
    wineserver -w
fi

xvfb_pid=
cleanup() {
    # Let wine's programs and server end on their own; the display goes last.
    timeout 30 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# The first free display number from 90 on; should another server take it first, try the next.
for display in $(seq 90 189); do
    [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] && continue
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$display" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -e "/tmp/.X11-unix/X$display" ] && kill -0 "$xvfb_pid" 2>/dev/null && break
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
done
if [ -z "$xvfb_pid" ]; then
    echo "no virtual display could be started" >&2
    exit 1
fi
export DISPLAY=":$display"
echo "== Xvfb on display $DISPLAY"

# --- 2. The Windows test program -----------------------------------------------------------------
echo "== WindowsTests.exe under wine"
timeout 900 wine "$bin/WindowsTests.exe" --gtest_color=no 2>&1 | quiet_wine

# --- 3. The picture of the dialog ----------------------------------------------------------------
# In a wine desktop window, which draws the dialog's caption: the display has no window manager.
echo "== Picture of the module's file dialog"
ready=$work/dialog-ready
release=$work/dialog-release
shown_folder=$root/Examples/Configurations
[ -d "$shown_folder" ] || shown_folder=$root
timeout 300 wine explorer /desktop=Quillmere,1024x768 "$bin/WindowsDialogForScreenshot.exe" \
    "$(windows_path "$ready")" "$(windows_path "$release")" "$(windows_path "$shown_folder")" \
    >"$work/dialog.log" 2>&1 &
dialog_pid=$!
for _ in $(seq 1 900); do
    [ -s "$ready" ] && break
    kill -0 "$dialog_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$ready" ]; then
    echo "the module's file dialog did not come up with its title" >&2
    quiet_wine <"$work/dialog.log" >&2
    exit 1
fi
read -r left top width height < <(tr -d '\r' <"$ready")
xwd -root -silent -display "$DISPLAY" | xwdtopnm -quiet |
    pnmcut -left "$left" -top "$top" -width "$width" -height "$height" |
    pnmtopng -quiet >"$windows_build/dialog-under-wine.png"
touch "$release"
wait "$dialog_pid" || true
echo "$windows_build/dialog-under-wine.png (${width}x${height})"

# --- 4. The examples, against the Linux build -----------------------------------------------------
# The saved project must be the same file (apart from line ends), the backup file the Linux one
# with CR LF line ends, and what the command printed the same from the command on (apart from the
# lines naming this run's files).
echo "== quillmere-host.exe on the examples, against the Linux quillmere-host"
linux_host=$linux_build/bin/quillmere-host
if [ ! -x "$linux_host" ]; then
    echo "no Linux quillmere-host in $linux_build (cmake --preset debug && cmake --build --preset debug)" >&2
    exit 1
fi
# From the "Command" line on, without wine's notices, CRs and the lines naming this run's files.
command_part() {
    tr -d '\r' <"$1" | sed -n '/^Command /,$p' | sed '/^Backup file present: /d; /^Backup file absent: /d; /^Project saved: /d'
}
has_file() { if [ -f "$1" ]; then echo yes; else echo no; fi; }
examples_ok=1
# A cancel writes no backup file on either side; every other example writes one on both.
compare_example() {
    local name=$1
    shift
    local linux_run=$work/$name/linux windows_run=$work/$name/windows
    mkdir -p "$linux_run" "$windows_run"
    "$linux_host" --project Examples/CommunityClinic.xml "$@" \
        --profile "$linux_run/profile" --save "$linux_run/project.xml" >"$linux_run/output.txt"
    timeout 300 wine "$bin/quillmere-host.exe" --project Examples/CommunityClinic.xml "$@" \
        --profile "$(windows_path "$windows_run/profile")" --save "$(windows_path "$windows_run/project.xml")" 2>&1 |
        quiet_wine >"$windows_run/output.txt"
    local backup=profile/Documents/IFC_SG_Properties.xml verdict=same
    if ! cmp -s <(tr -d '\r' <"$windows_run/project.xml") "$linux_run/project.xml"; then
        verdict="saved project differs"
    elif [ "$(has_file "$linux_run/$backup")" != "$(has_file "$windows_run/$backup")" ]; then
        verdict="a backup file on one side only"
    elif [ -f "$linux_run/$backup" ] && ! cmp -s "$windows_run/$backup" <(sed 's/$/\r/' "$linux_run/$backup"); then
        verdict="backup file differs from the Linux one with CR LF line ends"
    elif ! cmp -s <(command_part "$windows_run/output.txt") <(command_part "$linux_run/output.txt"); then
        verdict="printed results differ"
    fi
    printf '  %-22s %s; %s\n' "$name" "$(grep -m1 '^  dialog ' "$windows_run/output.txt" | sed 's/^ *//')" "$verdict"
    if [ "$verdict" != same ]; then
        examples_ok=0
        diff <(command_part "$linux_run/output.txt") <(command_part "$windows_run/output.txt") | head -20 || true
    fi
}
compare_example choose-2026 --choose Examples/Configurations/IFC-SG-2026.xml
compare_example choose-2025 --choose Examples/Configurations/IFC-SG-2025.xml
compare_example cancel --cancel
compare_example choose-2026-undo-3 --choose Examples/Configurations/IFC-SG-2026.xml --undo 3
[ "$examples_ok" = 1 ] || exit 1

# --- 5. quillmere-renames.exe on the example editions, against the Linux program -------------------
# The editions are copied into a folder named in Chinese and Greek; each pair's table and report
# must be the same bytes as the Linux program's, and a second run without --force must leave the
# table as it is and answer 2.
echo "== quillmere-renames.exe on the example editions, against the Linux quillmere-renames"
linux_renames=$linux_build/bin/quillmere-renames
if [ ! -x "$linux_renames" ]; then
    echo "no Linux quillmere-renames in $linux_build (cmake --build --preset debug --target quillmere-renames)" >&2
    exit 1
fi
renames_ok=1
editions=$work/renames/"项目 Ωμέγα"
mkdir -p "$editions"
cp Examples/Configurations/IFC-SG-202[5678].xml "$editions/"
for pair in 2025:2026 2026:2027 2027:2028; do
    older=IFC-SG-${pair%:*}.xml newer=IFC-SG-${pair#*:}.xml
    linux_run=$work/renames/linux-${pair/:/-} windows_run=$editions/windows-${pair/:/-}
    mkdir -p "$linux_run" "$windows_run"
    "$linux_renames" "$editions/$older" "$editions/$newer" \
        --output "$linux_run/table.xml" --report "$linux_run/report.txt" >/dev/null
    status=0
    timeout 120 wine "$bin/quillmere-renames.exe" "$(windows_path "$editions/$older")" "$(windows_path "$editions/$newer")" \
        --output "$(windows_path "$windows_run/table.xml")" --report "$(windows_path "$windows_run/report.txt")" \
        >"$windows_run/output.txt" 2>&1 || status=$?
    verdict=same
    if [ "$status" != 0 ]; then
        verdict="exit status $status: $(tr -d '\r' <"$windows_run/output.txt" | tail -1)"
    elif ! cmp -s "$windows_run/table.xml" "$linux_run/table.xml"; then
        verdict="table differs"
    elif ! cmp -s "$windows_run/report.txt" "$linux_run/report.txt"; then
        verdict="report differs"
    else
        # Without --force the table stays as it is.
        printf 'reviewed' >"$windows_run/table.xml"
        status=0
        timeout 120 wine "$bin/quillmere-renames.exe" "$(windows_path "$editions/$older")" "$(windows_path "$editions/$newer")" \
            --output "$(windows_path "$windows_run/table.xml")" >"$windows_run/again.txt" 2>&1 || status=$?
        if [ "$status" != 2 ] || [ "$(cat "$windows_run/table.xml")" != reviewed ]; then
            verdict="an existing table was not kept (exit status $status)"
        fi
    fi
    printf '  %-10s %s\n' "$pair" "$verdict"
    if [ "$verdict" != same ]; then
        renames_ok=0
        diff "$linux_run/table.xml" "$windows_run/table.xml" | head -20 || true
    fi
done
[ "$renames_ok" = 1 ] || exit 1

echo "== Windows checks under wine passed in $((SECONDS - started)) s"
