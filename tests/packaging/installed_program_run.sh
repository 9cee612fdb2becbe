#!/bin/sh
# The installed program, started from / by its launcher with HOME set to a
# scratch folder, on a virtual X server with no window manager: Tab, Space on
# Select, Enter on the first camera, Space on Shoot. One JPEG picture must land
# in HOME/Pictures, from the camera and decoder libraries of the private folder.
#   installed_program_run.sh <usr> <home> <private library folder> <LD_LIBRARY_PATH or "">
set -eu
usr=$1
home=$2
private=$3
library_path=$4

pid=""
xvfb=""
display_file=$(mktemp)
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true; [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true; rm -f "$display_file"' EXIT
step="start-up"
fail() { echo "FAIL ($step): $*" >&2; exit 1; }

# Polls up to 30 s for the shell command $1.
wait_until() {
    tries=0
    until sh -c "$1" >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ "$tries" -le 300 ] || return 1
        sleep 0.1
    done
}

# Xvfb picks a free display itself and writes its number, so tests that run
# at the same time never race for one.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb=$!
wait_until "[ -s '$display_file' ]" || fail "Xvfb did not start"
DISPLAY=":$(cat "$display_file")"
export DISPLAY

windows() { echo "[ \$(xdotool search --onlyvisible --name '^TAVREN\$' | wc -l) -eq $1 ]"; }

cd /
if [ -n "$library_path" ]; then
    env -u QT_QPA_PLATFORM HOME="$home" XDG_CONFIG_HOME="$home/.config" LD_LIBRARY_PATH="$library_path" \
        VRX4K_SIM_SIZE=1200x800 VRX4K_SIM_DELAY_MS=50 "$usr/bin/tavren-launch" &
else
    env -u QT_QPA_PLATFORM -u LD_LIBRARY_PATH HOME="$home" XDG_CONFIG_HOME="$home/.config" \
        VRX4K_SIM_SIZE=1200x800 VRX4K_SIM_DELAY_MS=50 "$usr/bin/tavren-launch" &
fi
pid=$!

wait_until "$(windows 1)" || fail "the main window did not open"
[ "$(readlink "/proc/$pid/cwd")" = "$home/Pictures" ] || fail "the program runs in $(readlink "/proc/$pid/cwd")"
grep -q "$private/libExif.so" "/proc/$pid/maps" || fail "the decoder was not loaded from $private"
grep -q "$private/libVRX4KAPI.so" "/proc/$pid/maps" || fail "the camera library was not loaded from $private"
xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^TAVREN$')"
sleep 0.3

# Close has the focus at start; the disabled name field is skipped.
step="Tab, Space on Select"
xdotool key Tab space
wait_until "$(windows 2)" || fail "the selection dialog did not open"
sleep 0.3
step="Enter in the selection dialog"
xdotool key Return
wait_until "$(windows 1)" || fail "the selection dialog did not close"
sleep 0.3
step="Space on Shoot"
xdotool key space
wait_until "ls '$home/Pictures'/*.JPG" || fail "no picture in $home/Pictures"
sleep 0.5
set -- "$home"/Pictures/*
[ $# -eq 1 ] || fail "expected one picture, found: $*"
[ "$(od -An -tx1 -N2 "$1" | tr -d ' ')" = ffd8 ] || fail "$1 is not a JPEG file"

step="Escape"
xdotool key Escape
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
