#!/bin/sh
# Drives the real program with the simulated camera on a virtual X server,
# from the keyboard: connect the first camera, shoot, close. Passes when one
# JPEG picture arrived in the folder the program was started in and the
# program ended by itself with status 0.
#   end_to_end.sh <path of tavren>
set -eu
program=$(realpath "$1")
if [ -z "${TAVREN_E2E_INSIDE:-}" ]; then
    export TAVREN_E2E_INSIDE=1
    # The real window on the virtual display, and the libraries beside the
    # program, found through its RUNPATH unless TAVREN_E2E_LIBRARY_PATH names
    # their folder (sanitizer builds: ASan's dlopen interceptor hides RUNPATH).
    unset QT_QPA_PLATFORM LD_LIBRARY_PATH
    if [ -n "${TAVREN_E2E_LIBRARY_PATH:-}" ]; then
        export LD_LIBRARY_PATH="$TAVREN_E2E_LIBRARY_PATH"
    fi
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder"

fail() {
    echo "FAILED: $*" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
}

# Waits up to $2 tenths of a second for the command $1 to succeed.
wait_for() {
    tries=0
    until sh -c "$1" >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ "$tries" -lt "$2" ] || return 1
        sleep 0.1
    done
}

"$program" &
pid=$!
wait_for "xdotool search --onlyvisible --name '^TAVREN\$'" 300 || fail "the main window did not open"
sleep 0.5

# The focus starts on Close; Tab passes the disabled name field to Select.
xdotool key Tab Return
wait_for "[ \$(xdotool search --onlyvisible --name '^TAVREN\$' | wc -l) -ge 2 ]" 100 ||
    fail "the camera selection did not open"
sleep 0.3
xdotool key Return # the first camera is preselected
wait_for "[ \$(xdotool search --onlyvisible --name '^TAVREN\$' | wc -l) -eq 1 ]" 100 ||
    fail "the camera selection did not close"
sleep 0.3

# Press Shoot with the mouse, at its place in the template (421, 211, 50, 14
# dialog units); the window's size gives the dialog units' size in pixels.
window=$(xdotool search --onlyvisible --name '^TAVREN$' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"
x=$((X + WIDTH * (421 + 25) / 490))
y=$((Y + HEIGHT * (211 + 7) / 266))
xdotool mousemove "$x" "$y" click 1
wait_for "ls *.JPG" 300 || fail "no picture arrived"
sleep 0.5
pictures=$(ls)
[ "$(echo "$pictures" | wc -l)" -eq 1 ] || fail "expected one picture, found: $pictures"
case "$pictures" in
    [0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]_[0-9][0-9][0-9][0-9][0-9][0-9]_[0-9].JPG) ;;
    *) fail "unexpected picture name $pictures" ;;
esac
[ "$(od -An -tx1 -N2 "$pictures" | tr -d ' ')" = "ffd8" ] || fail "$pictures is not a JPEG file"

xdotool windowfocus --sync "$window" key Escape
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "passed: $pictures"
