#!/bin/sh
# The installed program, started from / by its launcher with HOME set to a
# scratch folder, with the simulated camera as it comes (its calls logged): Tab, Space on
# Select, Enter on the first camera, Space on Shoot, Escape. One JPEG picture
# must land in HOME/Pictures, from the camera and decoder libraries of the
# private folder. Run by the package test, which sets TAVREN_E2E_LIBRARY_PATH
# to the private folder in sanitizer builds.
#   installed_program.sh <usr> <home> <private library folder>
set -eu
program="$1/bin/tavren-launch"
home=$2
private=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/harness.sh"

run_program / HOME="$home" XDG_CONFIG_HOME="$home/.config" VRX4K_SIM_LOG="$log"
[ "$(readlink "/proc/$pid/cwd")" = "$home/Pictures" ] || fail "the program runs in $(readlink "/proc/$pid/cwd")"
grep -q "$private/libExif.so" "/proc/$pid/maps" || fail "the decoder was not loaded from $private"
grep -q "$private/libVRX4KAPI.so" "/proc/$pid/maps" || fail "the camera library was not loaded from $private"

connect_first_camera
step="Space on Shoot"
press_shoot 1
wait_for_delivered 1
close_program
step="the stored picture"
delivered_sums 1 1 >"$work/expected"
[ "$(wc -l <"$work/expected")" -eq 1 ] || fail "the camera did not deliver a JPEG"
check_folder_holds "$home/Pictures" "$work/expected"
