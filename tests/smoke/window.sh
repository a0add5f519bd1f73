#!/bin/bash
# Starts the real program under a virtual X server, loads a picture through the File menu's
# dialog, closes with Ctrl+Q, and checks the working copy and the exit status.
# Usage: window.sh BUILD_DIR SOURCE_DIR
set -u
build=${1:?build folder}
exe=$build/huelet
[ -x "$exe" ] || { echo "no executable at $exe"; exit 1; }
for tool in xvfb-run xdotool convert; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

work=$(mktemp -d /tmp/huelet-smoke.XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config \
    XDG_STATE_HOME=$work/state XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
# Registry folders of its own, whatever the caller has set.
export HUELET_REGISTRY_DIR=$work/registry HUELET_MACHINE_REGISTRY_DIR=$work/machine
# The quiet update check at start-up goes to a refused local port.
export HUELET_UPDATE_URL=http://127.0.0.1:9
# A fresh account: HOME exists, none of the XDG folders does yet.
mkdir -p "$HOME" "$HUELET_MACHINE_REGISTRY_DIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# Sanitizer builds run straight from ctest: leaks of system libraries are not ours.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=${2:?source folder}/tests/lsan.supp}
picture=$work/in.jpg
convert -size 120x80 gradient:red-blue -quality 90 "$picture" || exit 1

cat "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" - >"$work/session.sh" <<'SESSION'
#!/bin/bash
set -u
exe=$1 picture=$2 result=$3 caption=$4 copy=$5
fail() { echo "FAIL: $*" >"$result"; kill "$pid" 2>/dev/null; exit 1; }
"$exe" &
pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Huelet' | head -n 1)
[ -n "$wid" ] || fail "window not found"
eval "$(xdotool getwindowgeometry --shell "$wid")"
[ "$WIDTH" = 825 ] || fail "width $WIDTH"
[ "$HEIGHT" -ge 660 ] && [ "$HEIGHT" -le 720 ] || fail "height $HEIGHT"
# The menu bar's "File" entry, then its first item "Load File".
# A slow start may swallow the keys: try again, each time waiting a little longer.
dlg=
for pause in 0.3 0.6 1 2 3; do
    xdotool windowfocus --sync "$wid"
    xdotool mousemove --window "$wid" 12 8 click 1
    sleep "$pause"
    xdotool key Down Return
    dlg=$(timeout 5 xdotool search --sync --onlyvisible --name '^Open$' | head -n 1)
    [ -n "$dlg" ] && break
    xdotool key Escape
done
[ -n "$dlg" ] || fail "file dialog not found"
xdotool windowfocus --sync "$dlg"
xdotool type --delay 5 "$picture"
xdotool key Return
for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^Open$' >/dev/null 2>&1 || break
    sleep 0.1
done
# The working copy, checked while the program runs: a portable run clears its data folder
# when it closes.
for _ in $(seq 100); do
    cmp -s "$copy" "$picture" && break
    sleep 0.1
done
cmp -s "$copy" "$picture" || fail "no working copy equal to the picture at $copy"
name=$(xdotool getwindowname "$wid")
[ "$name" = "$caption" ] || fail "caption '$name', expected '$caption'"
quit_and_record
SESSION

# The caption carries the version the build embeds in the executable.
source=${2:-}
version=$(sed -n 's/^project(Huelet VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt" 2>/dev/null)
[ -n "$version" ] || { echo "no project version in $source/CMakeLists.txt"; exit 1; }

timeout 90 xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh" "$exe" "$picture" \
    "$work/result" "Huelet v$version" "$XDG_DATA_HOME/Norwick Softworks/Huelet/Huelet.jpg" \
    >"$work/session.log" 2>&1
status=$?
result=$(cat "$work/result" 2>/dev/null)
echo "session: status $status, $result"
[ "$result" = "exit 0" ] || { cat "$work/session.log"; exit 1; }
mode=$(stat -c %a "$XDG_DATA_HOME")
[ "$mode" = 700 ] || { echo "data folder made with mode $mode"; exit 1; }

echo "ok"
