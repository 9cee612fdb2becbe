#!/bin/sh
# Bursts of 24-megapixel JPEGs, announced faster than the program handles
# them, in the real program with the simulated camera.
#   burst.sh <tavren> <case>
# Cases:
#   close  Close (Escape) pressed after the sixth of 15 announcements: the
#          program first handles every picture the camera reported, with no
#          box, and then ends by itself.
#   click  60 pictures queued at once: the previews keep changing while they
#          are handled, and a click on "..." opens the folder chooser while
#          pictures still wait (their events are handled inside it).
# Every delivered picture must be stored once, byte for byte.
set -eu
program=$(realpath "$1")
case_name="$2"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/harness.sh"

# Photographs of 6000 x 4000 pixels in four shades; the camera delivers them
# in turn, so the preview shows which picture was painted last.
step="making the photographs"
mkdir "$work/photos"
for shade in 25 45 65 85; do
    convert -size 6000x4000 "xc:gray$shade" -quality 90 "$work/photos/shade$shade.jpg"
done

announced() {
    grep -c '^event .* code=1$' "$log" 2>/dev/null || true
}

case "$case_name" in
close)
    start_program "$work/start" VRX4K_SIM_PHOTO_DIR="$work/photos" VRX4K_SIM_DELAY_MS=0 VRX4K_SIM_INTERVAL_MS=40
    select_first_camera
    step="a burst of 15, Close after the sixth picture"
    press_shoot 15
    wait_for "[ \$(grep -c '^event .* code=1\$' '$log') -ge 6 ]" 300 || fail "the camera did not announce six pictures"
    xdotool key Escape
    reported_at_close=$(announced)
    [ "$reported_at_close" -lt 15 ] || fail "the whole burst was announced before Close: nothing was left to handle"
    # The window while it handles the rest of the burst: its buttons disabled.
    e2e_screenshot burst-closing || true
    wait_for "! kill -0 $pid" 600 || fail "the program did not end"
    status=0
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
    step="the pictures reported before the window ended"
    [ "$(grep -c '^VRX4K_Shoot .* -> 0 ' "$log")" -eq 15 ] || fail "expected 15 shots"
    [ "$(announced)" -eq 15 ] || fail "expected 15 announced pictures, the log has $(announced)"
    [ "$(delivered_count)" -eq 15 ] ||
        fail "$(delivered_count) of 15 announced pictures were downloaded ($reported_at_close announced at Close)"
    # A box would have kept the program from ending; none may have opened.
    delivered_sums 1 15 >"$work/expected"
    summary="15 pictures stored, $reported_at_close of them announced when Close was pressed"
    ;;
click)
    # Enough pictures that a quick machine is still handling them when the
    # folder chooser has had time to open.
    burst=60
    start_program "$work/start" VRX4K_SIM_PHOTO_DIR="$work/photos" VRX4K_SIM_DELAY_MS=1500 VRX4K_SIM_INTERVAL_MS=0 \
        VRX4K_SIM_BUFFER=$burst
    select_first_camera
    step="$burst pictures queued at once"
    xdotool key --repeat $burst --delay 5 space
    wait_for "[ \$(grep -c '^VRX4K_Shoot .* -> 0 ' '$log') -eq $burst ]" 300 || fail "the program did not shoot $burst times"
    wait_for "[ \$(grep -c '^delivered ' '$log') -ge 2 ]" 300 || fail "no picture was downloaded"
    : >"$work/shades"
    samples=0
    # Samples until three shades were seen, while two thirds of the burst
    # still wait at most, so that the click below still finds pictures waiting.
    shades=0
    while [ "$(delivered_count)" -lt $((burst * 2 / 3)) ] && [ "$samples" -lt 40 ] && [ "$shades" -lt 3 ]; do
        preview_brightness | awk '{ printf "%.2f\n", $1 }' >>"$work/shades"
        samples=$((samples + 1))
        shades=$(sort -u "$work/shades" | wc -l)
    done
    [ "$shades" -ge 3 ] || fail "the preview showed $shades shade(s) in $samples samples while $burst pictures were handled"
    step="clicking ... mid-burst"
    left=$((burst - $(delivered_count)))
    [ "$left" -gt 0 ] || fail "the burst was over before the click"
    xdotool key shift+Tab space
    wait_for_windows 1 '^Please choose a destination of a photography image\.$'
    waiting=$((burst - $(delivered_count)))
    [ "$waiting" -gt 0 ] || fail "the folder chooser opened only after every picture was handled"
    # The pictures still waiting are handled while the chooser is open.
    wait_for_delivered $burst 600
    xdotool key Escape
    wait_for_windows 0 '^Please choose a destination'
    close_program
    delivered_sums 1 $burst >"$work/expected"
    summary="$burst pictures stored; the preview showed $shades shades in $samples samples; the chooser opened with $waiting pictures still waiting"
    ;;
*)
    fail "no case $case_name"
    ;;
esac

check_folder_holds "$work/start" "$work/expected"
step="the order of the camera library calls"
awk -f "$here/call_order.awk" "$log" >&2 || fail "camera library calls out of order"
echo "passed: $summary"
