# Shared by the smoke sessions (prepended to each session script, so not run on its own).
# quit_and_record: focuses window $wid, presses Ctrl+Q, waits for process $pid to end and writes
# its exit status to $result; calls the session's fail() when the program does not quit.
quit_and_record() {
    xdotool windowfocus --sync "$wid"
    xdotool key ctrl+q
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "still running after Ctrl+Q"
    wait "$pid"
    echo "exit $?" >"$result"
}

