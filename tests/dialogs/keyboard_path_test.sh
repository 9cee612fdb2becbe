#!/bin/sh
# A person's path by keyboard alone, in the real program with the simulated
# camera under a virtual X server with no window manager: Tab to Select,
# Space, Enter (the first camera), Space on Shoot; then Shift+Tab to "...",
# Space, type a folder, Enter, Tab to Shoot, Space. Each picture must land in
# the folder chosen then. With no window manager, the keyboard comes back after
# a modal window only when the program hands it back.
#   keyboard_path_test.sh <tavren>
# Exits 77 (skipped) when the X tools are missing.
set -eu

program="$1"
if [ -z "${TAVREN_UNDER_XVFB:-}" ]; then
    command -v xvfb-run >/dev/null && command -v xdotool >/dev/null || exit 77
    TAVREN_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/start" "$work/picked"

fail() { echo "FAIL ($step): $*" >&2; exit 1; }
step="start-up"

# Waits up to 20 s for a picture file in folder $1.
wait_for_picture() {
    tries=0
    until ls "$1"/*.JPG >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ "$tries" -le 200 ] || fail "no picture in $1"
        sleep 0.1
    done
}

# Waits until $1 visible windows are named $2.
wait_for_windows() {
    tries=0
    while [ "$(xdotool search --onlyvisible --name "$2" 2>/dev/null | wc -l)" -ne "$1" ]; do
        tries=$((tries + 1))
        [ "$tries" -le 200 ] || fail "expected $1 window(s) named '$2'"
        sleep 0.1
    done
}

cd "$work/start"
# The program finds its libraries through its RUNPATH; under AddressSanitizer
# dlopen is called from the sanitizer's runtime, and the test names the folder.
if [ -n "${TAVREN_E2E_LIBRARY_PATH:-}" ]; then
    export LD_LIBRARY_PATH="$TAVREN_E2E_LIBRARY_PATH"
else
    unset LD_LIBRARY_PATH
fi
env -u QT_QPA_PLATFORM VRX4K_SIM_SIZE=1200x800 VRX4K_SIM_DELAY_MS=50 \
    "$program" &
pid=$!

wait_for_windows 1 '^TAVREN$'
xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^TAVREN$')"
sleep 0.3

# Close has the focus at start; the disabled name field is skipped.
step="Tab, Space on Select"
xdotool key Tab space
wait_for_windows 2 '^TAVREN$'
sleep 0.3

# A detour: clear the selection in the list, press OK, dismiss the box, leave
# with Escape, and open the dialog again from the main window.
step="OK with the selection cleared"
xdotool key Tab Tab ctrl+space shift+Tab shift+Tab Return
wait_for_windows 1 '^Vrx4kShooting Sample$'
sleep 0.3
step="dismissing the box, then Escape"
xdotool key Return
wait_for_windows 0 '^Vrx4kShooting Sample$'
sleep 0.3
xdotool key Escape
wait_for_windows 1 '^TAVREN$'
sleep 0.3
step="Space on Select again"
xdotool key space
wait_for_windows 2 '^TAVREN$'
sleep 0.3
step="Enter in the selection dialog"
xdotool key Return
wait_for_windows 1 '^TAVREN$'
sleep 0.3
step="Space on Shoot"
xdotool key space
wait_for_picture "$work/start"

step="Shift+Tab, Space on ..."
xdotool key shift+Tab space
wait_for_windows 1 '^Please choose a destination of a photography image\.$'
sleep 0.3
step="typing the folder"
xdotool type --delay 10 "$work/picked"
xdotool key Return
wait_for_windows 0 '^Please choose a destination'
sleep 0.3
step="Tab, Space on Shoot"
xdotool key Tab space
wait_for_picture "$work/picked"

[ "$(ls "$work/start" | wc -l)" -eq 1 ] || fail "more than one picture in the first folder"
step="Escape"
xdotool key Escape
wait "$pid" || fail "the program did not end cleanly"
echo "keyboard path: both pictures where they belong"
