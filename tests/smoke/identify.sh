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

"$TOOL" >/dev/null 2>&1 && fail "no arguments should fail"

[ "$failures" -eq 0 ] && echo "identify: all checks passed"
exit "$failures"
