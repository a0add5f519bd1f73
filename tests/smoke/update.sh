#!/bin/bash
# The update check in the real window: huelet, pointed at huelet-update-service offering a newer
# version, asks whether to download it; after "No" and Ctrl+L the log file holds the check.
# Usage: bash update.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$(cd "$1" && pwd)
PROGRAM="$BUILD/huelet"
SERVICE="$BUILD/huelet-update-service"

for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
[ -x "$PROGRAM" ] && [ -x "$SERVICE" ] || { echo "build huelet and huelet-update-service first"; exit 1; }

WORK=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share"
export XDG_STATE_HOME="$WORK/home/.local/state" XDG_CACHE_HOME="$WORK/home/.cache"
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$WORK/bin"
chmod 700 "$XDG_RUNTIME_DIR"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY
# "Open log file" hands the log to the desktop: record that instead of opening anything.
cat >"$WORK/bin/xdg-open" <<EOF
#!/bin/sh
echo "\$@" >>"$WORK/opened.txt"
EOF
chmod +x "$WORK/bin/xdg-open"
export PATH="$WORK/bin:$PATH"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# wait_for TRIES COMMAND...: retries every 0.2 s, at most TRIES times.
wait_for() {
    local tries=$1
    shift
    for ((i = 0; i < tries; i++)); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}

# The service's arguments: --help, and status 2 with a usage line for a VERSION that is not one
# to four dotted numbers or a PORT outside 0..65535 (never a server answering with them).
out=$("$SERVICE" --help) || fail "--help status $?"
grep -qx 'usage: huelet-update-service VERSION \[PORT\]' <<<"$out" || fail "--help: $out"
for args in "" "--version" "abc" "1.2.3.4.5" "1..2" ".1" "1." "-1" "1.x" "1.2 65536" "1.2 -1" \
    "1.2 +80" "1.2 port" "1.2 99999999999" "1.2 80 extra"; do
    # shellcheck disable=SC2086  # split into the words given
    timeout 5 "$SERVICE" $args >"$WORK/out" 2>"$WORK/err"
    status=$?
    [ "$status" -eq 2 ] || fail "status $status for arguments '$args'"
    [ "$(tail -1 "$WORK/err")" = "usage: huelet-update-service VERSION [PORT]" ] ||
        fail "no usage line for '$args': $(cat "$WORK/err")"
    [ -s "$WORK/out" ] && fail "output for bad arguments '$args': $(cat "$WORK/out")"
done
for args in "7" "1.10.4.24 0"; do
    # shellcheck disable=SC2086
    timeout 10 "$SERVICE" $args >"$WORK/out" 2>"$WORK/err" &
    pid=$!
    wait_for 50 grep -q '^http://127.0.0.1:[0-9]' "$WORK/out" || fail "arguments '$args' were refused: $(cat "$WORK/err")"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
done

timeout 60 "$SERVICE" 99.0.0.0 >"$WORK/service.txt" 2>"$WORK/service.err" &
pids+=($!)
wait_for 100 grep -q '^http://127.0.0.1:' "$WORK/service.txt" || {
    fail "the service did not start: $(cat "$WORK/service.err")"
    exit 1
}
export HUELET_UPDATE_URL=$(head -1 "$WORK/service.txt")

# Inside the virtual X server: wait for the question, answer No, write the log with Ctrl+L
# (which hands it to the stand-in opener), close with Ctrl+Q. Each step is noted in steps.txt.
cat >"$WORK/session.sh" <<'SESSION'
#!/bin/bash
set -u
exe=$1 steps=$2 opened=$3
note() { echo "$*" >>"$steps"; }
"$exe" >"$steps.out" 2>&1 &
pid=$!
question=$(timeout 30 xdotool search --sync --onlyvisible --name '^Question$' | head -n 1)
if [ -n "$question" ]; then
    note "question shown"
    xdotool windowfocus --sync "$question"
    # "No" is the box's escape button.
    xdotool key Escape
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name '^Question$' >/dev/null 2>&1 || { note "question answered"; break; }
        sleep 0.1
    done
fi
main=$(timeout 20 xdotool search --sync --onlyvisible --name '^Huelet v' | head -n 1)
if [ -n "$main" ]; then
    xdotool windowfocus --sync "$main"
    xdotool key ctrl+l
    for _ in $(seq 100); do
        [ -s "$opened" ] && { note "log written"; break; }
        sleep 0.1
    done
    xdotool windowfocus --sync "$main"
    xdotool key ctrl+q
fi
for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null && { note "still running"; kill "$pid"; }
wait "$pid"
note "exit $?"
SESSION

timeout 90 xvfb-run -a -s "-screen 0 1024x768x24" bash "$WORK/session.sh" "$PROGRAM" \
    "$WORK/steps.txt" "$WORK/opened.txt" >"$WORK/session.log" 2>&1
for step in "question shown" "question answered" "log written" "exit 0"; do
    grep -qx "$step" "$WORK/steps.txt" 2>/dev/null || fail "step missing: $step"
done

# The file Ctrl+L handed to the desktop (beside the executable when the program runs portable).
LOG=$(head -1 "$WORK/opened.txt" 2>/dev/null)
[ -s "$LOG" ] || fail "Ctrl+L did not hand a log file to the desktop"

for line in "Check for update" "Self update check..." \
    "Huelet Update self check : Initialization" \
    "Huelet Update self check : Server replied 99.0.0.0 in " \
    "New version of Huelet is detected"; do
    grep -qF "$line" "$LOG" 2>/dev/null || fail "log lacks: $line"
done
grep -q 'Huelet is already up to date' "$LOG" 2>/dev/null && fail "a newer version was logged as up to date"
grep -qxF "GET /tally/check.php?uid=0&ProductName=Huelet&Company=Norwick%20Softworks&VH=65546&VL=262167 HTTP/1.1" \
    "$WORK/service.txt" || fail "request line: $(sed -n 2p "$WORK/service.txt")"
# No download page was opened after "No".
grep -q 'download' "$WORK/opened.txt" 2>/dev/null && fail "the download page was opened after No"

if [ "$failures" -ne 0 ]; then
    echo "--- session"; cat "$WORK/steps.txt" "$WORK/steps.txt.out" "$WORK/session.log" 2>/dev/null
    echo "--- opened"; cat "$WORK/opened.txt" 2>/dev/null
    echo "--- log"; cat "$LOG" 2>/dev/null
    exit 1
fi
echo "update smoke test passed"
