#!/bin/bash
# scripts/run without a display: the sample splash lands in build/, never in the source tree.
# The script runs from a copy of the tree whose package and build steps do nothing, with the
# real huelet-splash in its build folder.
# Usage: bash run.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
[ -x "$BUILD/huelet-splash" ] || { echo "build huelet-splash first"; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home"
mkdir -p "$HOME" "$WORK/tree/scripts" "$WORK/tree/build"
unset DISPLAY WAYLAND_DISPLAY
cp "$SOURCE/scripts/run" "$WORK/tree/scripts/run"
cat >"$WORK/tree/scripts/common.sh" <<'COMMON'
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
install_missing_packages() { :; }
build() { :; }
COMMON
cp "$BUILD/huelet-splash" "$WORK/tree/build/"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# From the top of the tree, as the README says to run it.
(cd "$WORK/tree" && bash scripts/run) >"$WORK/out" 2>&1 || fail "scripts/run: $(cat "$WORK/out")"
[ -f "$WORK/tree/build/coffee-splash.jpg" ] || fail "no build/coffee-splash.jpg: $(cat "$WORK/out")"
[ -e "$WORK/tree/coffee-splash.jpg" ] && fail "the splash was written into the top of the tree"
grep -qF "Wrote $WORK/tree/build/coffee-splash.jpg" "$WORK/out" || fail "output: $(cat "$WORK/out")"

# With arguments, relative paths stay relative to the caller's folder.
mkdir "$WORK/photos"
cp "$SOURCE/resources/samples/coffee.jpg" "$WORK/photos/in.jpg"
(cd "$WORK/photos" && bash "$WORK/tree/scripts/run" in.jpg out.ppm --color 140,30,12) \
    >"$WORK/out" 2>&1 || fail "scripts/run with arguments: $(cat "$WORK/out")"
[ -f "$WORK/photos/out.ppm" ] || fail "no out.ppm beside in.jpg: $(ls -R "$WORK/tree" "$WORK/photos")"

[ "$failures" -eq 0 ] && echo "run: all checks passed"
exit "$failures"
