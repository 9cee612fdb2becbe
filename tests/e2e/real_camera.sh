#!/bin/sh
# The real program with the real-camera library against libgphoto2's virtual
# camera: Select pressed with Enter, Enter on the only camera, Shoot clicked
# with the mouse, Escape. The picture stored in the folder the program was
# started in must be byte for byte the one on the virtual camera's card; the
# card then runs full, and Shoot shows the warning box; the program must end
# with status 0. TAVREN_E2E_LIBRARY_PATH names the
# real-camera library's folder first.
#   real_camera.sh <tavren> <build_vusb.sh's folder>
set -eu
program=$(realpath "$1")
vusb=$(realpath "$2")
if [ ! -f "$vusb/iolibs/vusb.so" ]; then
    echo "skipped: libgphoto2's virtual camera was not built (see build_vusb.sh's message)" >&2
    exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
. "$here/harness.sh"

card_picture="$vusb/vcamera/DCIM/100TAVRN/TAVR0001.JPG"
# The virtual camera reads its USB id from the port file in the working folder.
cp "$vusb/001,001" "$work/start/"
# libgphoto2 with only the virtual camera. It unloads its drivers, so their
# leaks cannot be told apart in a sanitizer build; the library's own leaks
# are checked by its test suite.
# The card has room for one picture (see build_vusb.sh).
run_program "$work/start" IOLIBS="$vusb/iolibs" CAMLIBS="$vusb/camlibs" VCAMERA_PICTURE_COUNT=148 \
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

connect_first_camera Return
step="Shoot clicked"
click_control shoot
wait_for "ls '$work/start'/*.JPG" 300 || fail "no picture arrived"
sleep 0.5
# The camera may take one more shot and find its card full while writing it;
# the next is refused at once.
step="Shoot clicked on a full card"
boxes=0
for shot in 1 2; do
    click_control shoot
    # A refusal takes the camera's answer, two seconds at most; a shot that
    # still fits the card opens no box at all.
    wait_for "[ \$(xdotool search --onlyvisible --name '^Vrx4kShooting Sample\$' 2>/dev/null | wc -l) -ge 1 ]" 60 || true
    sleep 0.3
    boxes=$(windows_named '^Vrx4kShooting Sample$')
    [ "$boxes" -eq 0 ] || break
done
[ "$boxes" -eq 1 ] || fail "no \"Photography failed.\" box for the full card"
[ "$(dismiss_boxes)" -eq 1 ] || fail "more than one box"
focus_main
close_program
step="the stored picture"
set -- "$work/start"/*.JPG
[ $# -eq 1 ] || fail "expected one picture, found: $*"
cmp -s "$1" "$card_picture" || fail "$1 differs from the picture on the camera's card"
echo "passed: $(basename "$1")"
