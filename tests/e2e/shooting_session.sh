#!/bin/sh
# A whole session in the real program with the simulated camera: Select
# pressed with Enter, the first camera; Shoot clicked with the mouse for a
# JPEG, then from the keyboard a raw file, a raw+JPEG pair and a type-3 JPEG;
# pick another folder through "..." by typing its path; shoot a JPEG and a
# pair there; close with the Close button. Every delivered picture must be
# stored once, byte for byte, under a time-stamped name, in the folder chosen
# when it arrived, the raw file and the JPEG of a pair under one name; the
# preview must show the JPEG; the camera library must be
# called in the order the contract requires; the program must end with
# status 0.
#   shooting_session.sh <tavren>
set -eu
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/harness.sh"

mkdir "$work/picked"
start_program "$work/start" VRX4K_SIM_SCRIPT="jpeg,raw,raw+jpeg,jpeg3,jpeg,raw+jpeg"

step="the preview before any picture"
preview_is_black || fail "the preview is not black before the first picture ($(preview_brightness))"
e2e_screenshot session-1-started

select_first_camera Return
e2e_screenshot session-2-connected

step="a JPEG, Shoot clicked"
click_control shoot
wait_for_delivered 1
wait_for "ls '$work/start'/*.JPG" 100 || fail "the JPEG was not stored"
brightness=$(preview_brightness)
[ "$(echo "$brightness" | awk '{ print ($1 >= 0.2) }')" -eq 1 ] ||
    fail "the preview stays dark after a JPEG (brightest value $brightness)"
e2e_screenshot session-3-first-jpeg

step="raw, raw+JPEG and a type-3 JPEG"
press_shoot 3
wait_for_delivered 5
e2e_screenshot session-4-four-shots

choose_folder "$work/picked"
step="a JPEG and a pair in the picked folder"
press_shoot 2
wait_for_delivered 8
e2e_screenshot session-5-picked-folder

close_program close-button

step="the stored pictures"
[ "$(delivered_count)" -eq 8 ] || fail "expected 8 delivered pictures, the log has $(delivered_count)"
[ "$(grep '^delivered ' "$log" | grep -c ' type=1 ')" -eq 3 ] || fail "expected three raw pictures"
[ "$(grep '^delivered ' "$log" | grep -c ' type=3 ')" -eq 1 ] || fail "expected one type-3 picture"
delivered_sums 1 5 >"$work/start.expected"
delivered_sums 6 8 >"$work/picked.expected"
check_folder_holds "$work/start" "$work/start.expected"
check_folder_holds "$work/picked" "$work/picked.expected"
[ "$(ls "$work/start"/*.RWQ | wc -l)" -eq 2 ] || fail "expected two .RWQ files in the first folder"
[ "$(ls "$work/picked"/*.RWQ | wc -l)" -eq 1 ] || fail "expected one .RWQ file in the picked folder"

step="the raw+JPEG pairs"
# The file in folder $1 that holds picture $2 of shot $3, as the log says.
stored_as() {
    sum=$(grep "^delivered .* shot=$2 part=$3 " "$log" | sed 's/.*sha256=//')
    for file in "$1"/*; do
        [ "$(sha256sum "$file" | cut -d' ' -f1)" = "$sum" ] && basename "$file" && return 0
    done
    fail "picture $3 of shot $2 is not in $1"
}
for pair in "start 3" "picked 6"; do
    set -- $pair
    raw=$(stored_as "$work/$1" "$2" 1)
    jpeg=$(stored_as "$work/$1" "$2" 2)
    # The raw file's name, or, when a JPEG of an earlier shot in the same
    # tenth of a second holds it, the next free number after it.
    base=${raw%.RWQ}
    case "$jpeg" in
        "$base.JPG") ;;
        "${base}"_[0-9]*.JPG) [ -f "$work/$1/$base.JPG" ] || fail "the pair of shot $2 is stored as $raw and $jpeg" ;;
        *) fail "the pair of shot $2 is stored as $raw and $jpeg" ;;
    esac
done

step="the order of the camera library calls"
awk -f "$here/call_order.awk" "$log" >&2 || fail "camera library calls out of order"

echo "passed: 8 pictures stored byte for byte, 5 in the first folder, 3 in the picked one"
[ -z "${TAVREN_E2E_SCREENSHOTS:-}" ] || echo "screenshots: $TAVREN_E2E_SCREENSHOTS"
