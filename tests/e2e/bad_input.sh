#!/bin/sh
# Bad input from the camera and a destination that fails, in the real program
# with the simulated camera: the program keeps running, stores nothing it
# should not, and loses nothing it keeps.
#   bad_input.sh <tavren> <case>
# Cases: badjpeg, typecodes, size0, readfail, openfail, shootfail, vanish, full.
# Exits 77 (skipped) when the case cannot be set up here.
set -eu
program=$(realpath "$1")
case_name="$2"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/harness.sh"

mkdir "$work/picked"
box='^Vrx4kShooting Sample$'

# Line of the first log entry matching $1 from line $2 on, or empty.
log_line() {
    tail -n "+${2:-1}" "$log" | grep -n -m1 "$1" | cut -d: -f1
}

case "$case_name" in
badjpeg)
    # Bytes no decoder accepts under a JPEG type: the preview stays black and
    # the picture is stored all the same, as it came; the next good JPEG too.
    start_program "$work/start" VRX4K_SIM_SCRIPT="badjpeg,jpeg"
    select_first_camera
    step="the undecodable JPEG"
    press_shoot 1
    wait_for_delivered 1
    preview_is_black || fail "the preview is not black after an undecodable JPEG ($(preview_brightness))"
    stored=$(ls -A "$work/start")
    echo "$stored" | grep -Eq '^[0-9]{8}_[0-9]{6}_[0-9]\.JPG$' || fail "not stored as one JPEG file: $stored"
    [ "$(sha256sum "$work/start/$stored" | cut -d' ' -f1)" = "$(delivered_sums 1 1)" ] ||
        fail "$stored does not hold the delivered bytes"
    # Out of the way: the final check wants every .JPG to start like a JPEG.
    mv "$work/start/$stored" "$work/undecodable.JPG"
    e2e_screenshot bad-jpeg
    step="a good JPEG after it"
    press_shoot 1
    wait_for_delivered 2
    delivered_sums 2 2 >"$work/expected"
    ;;
typecodes)
    # Codes the program does not store; 5 (no picture) is not even read.
    start_program "$work/start" VRX4K_SIM_SCRIPT="type0,type4,type5,type-1,jpeg"
    select_first_camera
    step="type codes 0, 4, 5 and -1, then a JPEG"
    press_shoot 5
    wait_for_delivered 4
    [ "$(grep '^delivered ' "$log" | sed -n '1,3p' | grep -Ec ' type=(0|4|-1) ')" -eq 3 ] ||
        fail "the first three deliveries are not types 0, 4 and -1"
    [ "$(grep -c '^VRX4K_ReadImageInfo .* -> 0 .* type=5 ' "$log")" -eq 1 ] || fail "the type-5 picture was not described"
    grep -q '^delivered .* type=5 ' "$log" && fail "a type-5 picture was downloaded"
    delivered_sums 4 4 >"$work/expected"
    [ "$(wc -l <"$work/expected")" -eq 1 ] || fail "the last picture is not the JPEG"
    ;;
size0)
    start_program "$work/start" VRX4K_SIM_SCRIPT="size0,jpeg"
    select_first_camera
    step="a picture of size 0, then a JPEG"
    press_shoot 2
    wait_for_delivered 1
    grep -q '^VRX4K_ReadImageInfo .* -> 0 shot=1 .* size=0 ' "$log" || fail "the empty picture was not described"
    grep -q '^VRX4K_ReadImage .* shot=1$' "$log" && fail "the empty picture was downloaded"
    grep -q '^delivered .* shot=2 ' "$log" || fail "the JPEG after it was not downloaded"
    delivered_sums 1 1 >"$work/expected"
    ;;
readfail)
    # The camera loses a picture in transfer, and another one while describing it.
    start_program "$work/start" VRX4K_SIM_SCRIPT="readfail,infofail,jpeg"
    select_first_camera
    step="failed transfers, then a JPEG"
    press_shoot 3
    wait_for_delivered 1
    grep -q '^VRX4K_ReadImage .* -> -1 error=40967' "$log" || fail "no failed ReadImage in the log"
    grep -q '^VRX4K_ReadImageInfo .* -> -1 error=40976' "$log" || fail "no failed ReadImageInfo in the log"
    grep -q '^delivered .* shot=3 ' "$log" || fail "the JPEG after them was not downloaded"
    delivered_sums 1 1 >"$work/expected"
    ;;
openfail)
    # The first camera does not open: "ERROR Open()" while listing, an empty
    # line in the list, "I cannot be connected to a camera." when it is chosen
    # anyway. The second camera still works.
    start_program "$work/start" VRX4K_SIM_FAIL_OPEN=0
    step="Select with a camera that does not open"
    xdotool key Tab space
    wait_for_windows 1 "$box"
    e2e_screenshot open-failed-box
    xdotool key Return
    wait_for_windows 0 "$box"
    wait_for_windows 2 '^TAVREN$'
    e2e_screenshot open-failed-list
    step="choosing the camera that does not open"
    xdotool key Return
    wait_for_windows 1 "$box"
    e2e_screenshot open-failed-connect
    xdotool key Return
    wait_for_windows 0 "$box"
    wait_for_windows 1 '^TAVREN$'
    grep -q '^VRX4K_Open index=0 callback=yes .* -> -1 error=40971' "$log" || fail "no failed connection in the log"
    grep -q '^VRX4K_GetDeviceInfo' "$log" &&
        [ "$(grep -c '^VRX4K_GetDeviceInfo' "$log")" -ne 1 ] && fail "a camera that did not open was described"
    step="the second camera"
    focus_main
    xdotool key space # Select kept the keyboard
    wait_for_windows 1 "$box"
    xdotool key Return
    wait_for_windows 2 '^TAVREN$'
    xdotool key Tab Tab Down shift+Tab shift+Tab Return # the list, the second line, OK
    wait_for_windows 1 '^TAVREN$'
    wait_for "grep -q '^VRX4K_Open index=1 callback=yes .* -> 0' '$log'" 100 || fail "the second camera was not connected"
    press_shoot 1
    wait_for_delivered 1
    delivered_sums 1 1 >"$work/expected"
    ;;
shootfail)
    start_program "$work/start" VRX4K_SIM_SCRIPT="shootfail,jpeg"
    select_first_camera
    step="a failed shot"
    press_shoot 1
    wait_for_windows 1 "$box"
    e2e_screenshot shoot-failed
    xdotool key Return
    wait_for_windows 0 "$box"
    step="shooting again"
    focus_main
    press_shoot 1
    wait_for_delivered 1
    delivered_sums 1 1 >"$work/expected"
    ;;
vanish | full)
    # Two pictures are stored; then the destination goes away (deleted) or
    # fills up (a small file system) while a burst of five is on its way (the
    # burst is shot before and arrives after). The pictures that cannot be
    # stored are kept: closing asks first; a deleted folder's pictures go to
    # the folder picked next, a full one's with the next picture once there is
    # room again. None is lost.
    destination="$work/start"
    if [ "$case_name" = full ]; then
        destination="$work/small"
        mkdir "$destination"
        if ! mount -t tmpfs -o size=1m tavren-e2e "$destination" 2>/dev/null; then
            echo "skipped: cannot mount a small file system here (needs root)" >&2
            exit 77
        fi
        unmount_small() { umount "$work/small"; }
        cleanup_hooks="unmount_small"
    fi
    start_program "$destination" VRX4K_SIM_SIZE=640x480 VRX4K_SIM_DELAY_MS=1500 VRX4K_SIM_INTERVAL_MS=200
    select_first_camera
    step="two pictures stored"
    press_shoot 2
    wait_for_delivered 2 200
    delivered_sums 1 2 >"$work/expected.before"
    check_folder_holds "$destination" "$work/expected.before"
    step="a burst while the destination fails"
    press_shoot 5
    if [ "$case_name" = vanish ]; then
        rm -rf "$work/start"
    else
        # Fill it up: not even a temporary file of a picture fits now.
        cat /dev/zero >"$destination/filler" 2>/dev/null || true
    fi
    wait_for "[ -n \"\$(xdotool search --onlyvisible --name '$box')\" ]" 300 || fail "no warning box"
    e2e_screenshot "$case_name-warning"
    wait_for "[ \$(grep -c '^delivered ' '$log') -ge 7 ]" 300 || fail "the burst did not arrive"
    dismissed=$(dismiss_boxes)
    [ "$dismissed" -ge 1 ] || fail "no warning box to dismiss"
    echo "$dismissed warning box(es) dismissed"
    [ -z "$(ls -A "$work/picked")" ] || fail "pictures went to a folder not yet chosen"
    delivered_sums 3 7 >"$work/expected.kept"

    step="closing with pictures kept"
    focus_main
    xdotool key Escape
    wait_for_windows 1 "$box"
    e2e_screenshot "$case_name-close-question"
    xdotool key Return # No, the default
    wait_for_windows 0 "$box"
    kill -0 "$pid" 2>/dev/null || fail "the program closed although pictures were kept"
    [ "$(windows_named '^TAVREN$')" -eq 1 ] || fail "the main window is gone"

    if [ "$case_name" = vanish ]; then
        focus_main
        choose_folder "$work/picked"
        step="the kept pictures in the picked folder"
        wait_for "[ \$(ls '$work/picked' | wc -l) -ge 5 ]" 100 || fail "the kept pictures were not stored"
        check_folder_holds "$work/picked" "$work/expected.kept"
        final="$work/picked"
        first=3
    else
        rm "$destination/filler"
        check_folder_holds "$destination" "$work/expected.before"
        final="$destination"
        first=1
    fi
    step="shooting on"
    focus_main
    press_shoot 1
    wait_for_delivered 8
    delivered_sums "$first" 8 >"$work/expected"
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac

[ "$(windows_named "$box")" -eq 0 ] || fail "a box is open: $(windows_named "$box")"
close_program
step="the stored pictures"
final="${final:-$work/start}"
[ "$final" = "$work/picked" ] || [ -z "$(ls -A "$work/picked")" ] || fail "pictures in a folder never chosen"
check_folder_holds "$final" "$work/expected"
step="the order of the camera library calls"
awk -f "$here/call_order.awk" "$log" >&2 || fail "camera library calls out of order"
echo "passed: $case_name"
