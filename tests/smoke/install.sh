#!/bin/bash
# The install step: "cmake --install" to a temporary prefix puts the programs, desktop entry,
# icon and the Uninstall entry in place, and the installed program then runs as installed
# (it keeps its data folder and registry hive when closed) without any variable pointing at it.
# Usage: install.sh BUILD_DIR SOURCE_DIR
set -u
build=$(cd "${1:?build folder}" && pwd)
for tool in cmake xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

work=$(mktemp -d /tmp/huelet-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config \
    XDG_STATE_HOME=$work/state XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime \
    HUELET_UPDATE_URL=http://127.0.0.1:9
unset HUELET_REGISTRY_DIR HUELET_MACHINE_REGISTRY_DIR DESTDIR
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }
reg="$prefix/etc/xdg/Norwick Softworks/registry.d/huelet.reg"
for f in bin/huelet bin/huelet-splash share/applications/huelet.desktop \
    share/icons/hicolor/128x128/apps/huelet.png; do
    [ -f "$prefix/$f" ] || fail "$f not installed"
done
[ -f "$reg" ] || { fail "no Uninstall entry at $reg"; exit 1; }
for line in '"DisplayName"="Norwick Softworks Huelet"' '"Publisher"="Norwick Softworks"' \
    "\"InstallLocation\"=\"$prefix/bin/\"" '"DisplayVersion"="'; do
    grep -qF "$line" "$reg" || fail "missing in the entry: $line"
done

# Run the installed program once and close it.
cat "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" - >"$work/session.sh" <<'SESSION'
#!/bin/bash
set -u
exe=$1 result=$2
fail() { echo "FAIL: $*" >"$result"; kill "$pid" 2>/dev/null; exit 1; }
"$exe" &
pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Huelet v' | head -n 1)
[ -n "$wid" ] || fail "window not found"
quit_and_record
SESSION
timeout 90 xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh" "$prefix/bin/huelet" \
    "$work/result" >"$work/session.log" 2>&1
result=$(cat "$work/result" 2>/dev/null)
echo "installed run: $result"
[ "$result" = "exit 0" ] || { cat "$work/session.log"; fail "session: $result"; }
[ -d "$XDG_DATA_HOME/Norwick Softworks/Huelet" ] || fail "installed run removed its data folder"
grep -qF "\"Huelet\"=\"$prefix/bin/huelet\"" \
    "$XDG_CONFIG_HOME/Norwick Softworks/registry/HKEY_CURRENT_USER.reg" 2>/dev/null ||
    fail "installed run removed its registry traces"
[ ! -e "$prefix/bin/settings.ini" ] || fail "installed run wrote settings.ini"

[ "$failures" -eq 0 ] || exit 1
echo "ok"
