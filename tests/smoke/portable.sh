#!/bin/bash
# The real program's portable life cycle under a virtual X server: a copy run from its own
# folder imports "settings.ini" at start, writes it back when closed and leaves neither a data
# folder nor a registry hive, also when two windows ran at once and the second closed first;
# with an Uninstall entry present it runs as installed and leaves
# "settings.ini", the data folder and the hive alone.
# Usage: portable.sh BUILD_DIR SOURCE_DIR
set -u
build=${1:?build folder}
[ -x "$build/huelet" ] || { echo "no executable at $build/huelet"; exit 1; }
for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

work=$(mktemp -d /tmp/huelet-portable.XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config \
    XDG_STATE_HOME=$work/state XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime \
    HUELET_MACHINE_REGISTRY_DIR=$work/machine HUELET_UPDATE_URL=http://127.0.0.1:9
unset HUELET_REGISTRY_DIR
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME" \
    "$HUELET_MACHINE_REGISTRY_DIR" "$work/app"
mkdir -m 700 "$XDG_RUNTIME_DIR"
cp "$build/huelet" "$work/app/huelet" || exit 1
exe=$work/app/huelet
ini=$work/app/settings.ini
hive="$XDG_CONFIG_HOME/Norwick Softworks/registry/HKEY_CURRENT_USER.reg"
data="$XDG_DATA_HOME/Norwick Softworks"

# session.sh EXE HIVE RESULT: starts the program, waits for its first activation (the caption
# with the version), copies the hive as it is then, closes with Ctrl+Q.
cat "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" - >"$work/session.sh" <<'SESSION'
#!/bin/bash
set -u
exe=$1 hive=$2 result=$3
fail() { echo "FAIL: $*" >"$result"; kill "$pid" 2>/dev/null; exit 1; }
"$exe" &
pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Huelet v' | head -n 1)
[ -n "$wid" ] || fail "window not found"
cp "$hive" "$result.hive" 2>/dev/null
quit_and_record
SESSION

# two.sh EXE DATA HIVE RESULT: starts two windows, closes the second, records what is left,
# then closes the first.
cat "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" - >"$work/two.sh" <<'SESSION'
#!/bin/bash
set -u
exe=$1 data=$2 hive=$3 result=$4
fail() { echo "FAIL: $*" >"$result"; kill "$first" "$pid" 2>/dev/null; exit 1; }
window_of() { timeout 20 xdotool search --all --sync --onlyvisible --pid "$1" --name '^Huelet v' | head -n 1; }
"$exe" &
first=$!
first_wid=$(window_of "$first")
[ -n "$first_wid" ] || { pid=$first; fail "first window not found"; }
"$exe" &
pid=$!
wid=$(window_of "$pid")
[ -n "$wid" ] || fail "second window not found"
ls -A "$data" >"$result.both"
# Both windows sit at the same place; a click on the second's header makes it the one with focus.
xdotool mousemove --window "$wid" 300 40 click 1
quit_and_record
ls -A "$data" >"$result.after-second" 2>&1
cp "$hive" "$result.hive" 2>/dev/null
pid=$first wid=$first_wid
quit_and_record
SESSION

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

session() {
    rm -f "$work/result" "$work/result.hive"
    timeout 90 xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh" "$exe" "$hive" \
        "$work/result" >"$work/session.log" 2>&1
    local result
    result=$(cat "$work/result" 2>/dev/null)
    echo "$1: $result"
    [ "$result" = "exit 0" ] || { cat "$work/session.log"; fail "$1 session: $result"; }
}

# --- portable ---
printf '[Settings]\r\nLastFolder=/pictures\r\n[Settings_DWORD]\r\nWidth=0x20\r\n' >"$ini"
session portable
grep -q '^"Width"=dword:00000020' "$work/result.hive" 2>/dev/null ||
    fail "settings.ini was not imported at start"
grep -qF "\"Huelet\"=\"$exe\"" "$work/result.hive" 2>/dev/null ||
    fail "the program path was not recorded"
[ "$(cat "$ini")" = "$(printf '[Settings]\r\nLastFolder=/pictures\r\n[Settings_DWORD]\r\nWidth=32\r\n')" ] ||
    fail "settings.ini not written back: $(cat "$ini")"
[ ! -e "$data" ] || fail "data folder left behind: $(ls -R "$data")"
[ ! -e "$XDG_CONFIG_HOME/Norwick Softworks" ] || fail "registry left behind"
[ "$(ls -A "$work/app")" = "$(printf 'huelet\nsettings.ini')" ] ||
    fail "unexpected files beside the program: $(ls -A "$work/app")"

# --- two portable windows at once ---
printf '[Settings]\r\nLastFolder=/pictures\r\n' >"$ini"
rm -f "$work/result"*
timeout 90 xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/two.sh" "$exe" "$data/Huelet" \
    "$hive" "$work/result" >"$work/session.log" 2>&1
echo "two windows: $(cat "$work/result" 2>/dev/null)"
[ "$(cat "$work/result" 2>/dev/null)" = "exit 0" ] || { cat "$work/session.log"; fail "two windows"; }
[ "$(cat "$work/result.both" 2>/dev/null)" = "$(printf '.Huelet-1.lock\n.Huelet-2.lock')" ] ||
    fail "each window holds its slot: $(cat "$work/result.both" 2>/dev/null)"
[ "$(cat "$work/result.after-second" 2>/dev/null)" = ".Huelet-1.lock" ] ||
    fail "closing the second window touched the first's: $(cat "$work/result.after-second")"
grep -qF "\"Huelet\"=\"$exe\"" "$work/result.hive" 2>/dev/null ||
    fail "the registry went while the first window still ran"
[ ! -e "$data" ] || fail "data folder left behind by the last window: $(ls -RA "$data")"
[ ! -e "$XDG_CONFIG_HOME/Norwick Softworks" ] || fail "registry left behind by the last window"
[ "$(ls -A "$work/app")" = "$(printf 'huelet\nsettings.ini')" ] ||
    fail "unexpected files beside the program: $(ls -A "$work/app")"

# --- installed ---
cat >"$HUELET_MACHINE_REGISTRY_DIR/huelet.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Huelet]
"DisplayName"="Norwick Softworks Huelet"
"Publisher"="Norwick Softworks"
REG
printf '[Settings_DWORD]\nWidth=0x10\n' >"$ini"
session installed
[ "$(cat "$ini")" = "$(printf '[Settings_DWORD]\nWidth=0x10')" ] || fail "settings.ini touched"
grep -q 'Width' "$hive" 2>/dev/null && fail "settings imported while installed"
grep -qF "\"Huelet\"=\"$exe\"" "$hive" 2>/dev/null || fail "hive not kept"
[ -d "$data/Huelet" ] || fail "data folder not kept"

[ "$failures" -eq 0 ] || exit 1
echo "ok"
