#!/bin/bash
# huelet-identify on the program's own executable: the names and version the update check sends.
# Usage: bash identify.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$(cd "$1" && pwd)
TOOL="$BUILD/huelet-identify"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share"
export XDG_STATE_HOME="$WORK/home/.local/state" HUELET_REGISTRY_DIR="$WORK/registry"
export HUELET_MACHINE_REGISTRY_DIR="$WORK/machine"
mkdir -p "$HOME"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

out=$("$TOOL" "$BUILD/huelet") || fail "status $? for the program's own executable"
version=$(sed -n 's/^project(Huelet VERSION \([0-9.]*\).*/\1/p' "$2/CMakeLists.txt")
for want in "Product +Huelet\$" "Company +Norwick Softworks\$" "Version +$version\$" \
    "FileDescription +Huelet\$" "PE32\\+ +no\$"; do
    grep -Eq "^  $want" <<<"$out" || fail "no line matching '$want' in:
$out"
done

# A file without a version resource is named after itself and has no version.
printf 'plain' >"$WORK/plain-tool"
out=$("$TOOL" "$WORK/plain-tool") || fail "status $? for a plain file"
grep -Eq '^  Product +plain-tool$' <<<"$out" || fail "plain file product: $out"
grep -Eq '^  Version *$' <<<"$out" || fail "plain file version: $out"

# Arguments: --help on stdout with status 0; nothing or an unknown option is status 2 and a
# usage line.
out=$("$TOOL" --help) || fail "--help status $?"
grep -q '^usage: huelet-identify PATH\.\.\.$' <<<"$out" || fail "--help: $out"
for args in "" "--frobnicate"; do
    # shellcheck disable=SC2086  # the empty case is no argument at all
    "$TOOL" $args >"$WORK/out" 2>"$WORK/err"
    status=$?
    [ "$status" -eq 2 ] || fail "status $status for arguments '$args'"
    grep -q '^usage: huelet-identify PATH' "$WORK/err" || fail "no usage line for '$args': $(cat "$WORK/err")"
    [ -s "$WORK/out" ] && fail "output for bad arguments '$args': $(cat "$WORK/out")"
done
# After "--" a name that looks like an option is a path.
printf 'plain' >"$WORK/--help"
out=$(cd "$WORK" && "$TOOL" -- --help) || fail "status $? for the file --help after --"
grep -Eq '^  Product +--help$' <<<"$out" || fail "file --help: $out"

# Paths that cannot be identified: one line naming each and why, no block, status 1; the
# readable ones in the same run are still shown.
mkdir "$WORK/folder"
mkfifo "$WORK/fifo"
for case in "missing|$WORK/missing.exe|File not found" \
    "below a file|$WORK/plain-tool/x.exe|File not found" \
    "folder|$WORK/folder|Is a directory" \
    "fifo|$WORK/fifo|not a regular file"; do
    IFS='|' read -r what path reason <<<"$case"
    timeout 10 "$TOOL" "$path" "$WORK/plain-tool" >"$WORK/out" 2>"$WORK/err"
    status=$?
    [ "$status" -eq 1 ] || fail "$what: status $status"
    [ "$(cat "$WORK/err")" = "huelet-identify: $path: $reason" ] || fail "$what: stderr $(cat "$WORK/err")"
    grep -qxF "$path" "$WORK/out" && fail "$what: a block was printed for it"
    grep -qxF "$WORK/plain-tool" "$WORK/out" || fail "$what: the readable file after it was not shown"
done
if [ "$(id -u)" -ne 0 ]; then
    printf 'secret' >"$WORK/locked.exe"
    chmod 000 "$WORK/locked.exe"
    "$TOOL" "$WORK/locked.exe" >/dev/null 2>"$WORK/err" && fail "an unreadable file succeeded"
    grep -qxF "huelet-identify: $WORK/locked.exe: Permission denied" "$WORK/err" ||
        fail "unreadable: $(cat "$WORK/err")"
fi

# UTF-8 out: the file name as it is, the version strings (Windows-1252 inside, from a real PE
# built with the MinGW tools) converted, including the bytes 0x80..0x9F.
if command -v x86_64-w64-mingw32-windres >/dev/null && command -v x86_64-w64-mingw32-ld >/dev/null; then
    printf '%s\n' '1 VERSIONINFO' 'FILEVERSION 2,5,0,7' 'PRODUCTVERSION 2,5,0,7' 'BEGIN' \
        ' BLOCK "StringFileInfo"' ' BEGIN' '  BLOCK "040904E4"' '  BEGIN' \
        $'   VALUE "CompanyName", "M\xfcller Werkzeuge\\0"' \
        $'   VALUE "FileDescription", "Caf\xe9 Tool\x99\\0"' \
        '   VALUE "FileVersion", "2.5.0.7\0"' \
        $'   VALUE "LegalCopyright", "\xa9 2026 \x80\\0"' \
        $'   VALUE "ProductName", "Caf\xe9 Suite\\0"' \
        '   VALUE "ProductVersion", "2.5.0.7\0"' '  END' ' END' \
        ' BLOCK "VarFileInfo"' ' BEGIN' '  VALUE "Translation", 0x409, 1252' ' END' 'END' \
        >"$WORK/café.rc"
    printf '.globl start\nstart:\n ret\n' >"$WORK/start.s"
    exe="$WORK/café-tool.exe"
    if x86_64-w64-mingw32-windres -c 1252 "$WORK/café.rc" -O coff -o "$WORK/res.o" &&
        x86_64-w64-mingw32-as -o "$WORK/start.o" "$WORK/start.s" &&
        x86_64-w64-mingw32-ld -e start -o "$exe" "$WORK/start.o" "$WORK/res.o"; then
        out=$("$TOOL" "$exe") || fail "status $? for the PE"
        for want in "$exe" "  CompanyName       Müller Werkzeuge" "  FileDescription   Café Tool™" \
            "  LegalCopyright    © 2026 €" "  ProductName       Café Suite" "  PE32+             yes"; do
            grep -qxF "$want" <<<"$out" || fail "PE: no line '$want' in:
$out"
        done
        iconv -f UTF-8 -t UTF-8 <<<"$out" >/dev/null || fail "PE: output is not UTF-8"
    else
        fail "could not build the PE test file"
    fi
else
    echo "skipped the PE check: no MinGW binutils (binutils-mingw-w64-x86-64)"
fi
# A file named in UTF-8 without a version resource is named after itself, bytes as they are.
printf 'plain' >"$WORK/crème-tool"
out=$("$TOOL" "$WORK/crème-tool") || fail "status $? for crème-tool"
grep -Eq '^  Product +crème-tool$' <<<"$out" || fail "UTF-8 file name: $out"

[ "$failures" -eq 0 ] && echo "identify: all checks passed"
exit "$failures"
