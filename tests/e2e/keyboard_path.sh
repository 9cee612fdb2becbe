#!/bin/sh
# A person's path by keyboard alone, in the real program with the simulated
# camera: Tab to Select, Space; in the selection dialog clear the selection
# and press OK (a box says to choose one), dismiss it, leave with Escape;
# Space on Select again, Enter (the first camera), Space on Shoot; then
# Shift+Tab to "...", Space, type a folder, Enter, Tab to Shoot, Space;
# Escape. The keyboard is never handed to a window from outside after the
# start: the program must give it back after each modal window. Each picture
# must land in the folder chosen when it arrived.
#   keyboard_path.sh <tavren>
set -eu
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/harness.sh"

mkdir "$work/picked"
box='^Vrx4kShooting Sample$'
start_program "$work/start" VRX4K_SIM_SIZE=1200x800

# Close has the keyboard at start; the disabled name field is skipped.
step="Tab, Space on Select"
xdotool key Tab space
wait_for_windows 2 '^TAVREN$'
step="OK with the selection cleared"
xdotool key Tab Tab ctrl+space shift+Tab shift+Tab Return
wait_for_windows 1 "$box"
step="dismissing the box, then Escape"
xdotool key Return
wait_for_windows 0 "$box"
xdotool key Escape
wait_for_windows 1 '^TAVREN$'
step="Space on Select again, Enter in the selection dialog"
xdotool key space
wait_for_windows 2 '^TAVREN$'
xdotool key Return
wait_for_windows 1 '^TAVREN$'
step="Space on Shoot"
press_shoot 1
wait_for_delivered 1

choose_folder "$work/picked"
step="Space on Shoot in the picked folder"
press_shoot 1
wait_for_delivered 2

close_program
step="the stored pictures"
delivered_sums 1 1 >"$work/start.expected"
delivered_sums 2 2 >"$work/picked.expected"
check_folder_holds "$work/start" "$work/start.expected"
check_folder_holds "$work/picked" "$work/picked.expected"
echo "passed: both pictures where they belong"
