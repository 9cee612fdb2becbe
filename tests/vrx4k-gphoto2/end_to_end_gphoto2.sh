#!/bin/sh
# Drives the real program with the real-camera library against libgphoto2's
# virtual camera on a virtual X server: connect the camera from the keyboard,
# press Shoot, close. Passes when the picture stored in the folder the program
# was started in is byte for byte the one on the virtual camera's card, and the
# program ended by itself with status 0.
#   end_to_end_gphoto2.sh <path of tavren> <folder of the gphoto2 library> <build_vusb.sh's folder>
set -eu
program=$(realpath "$1")
library=$(realpath "$2")
vusb=$(realpath "$3")
if [ ! -f "$vusb/iolibs/vusb.so" ]; then
    echo "SKIPPED: libgphoto2's virtual camera was not built (see build_vusb.sh's message)"
    exit 77
fi
if [ -z "${TAVREN_E2E_INSIDE:-}" ]; then
    export TAVREN_E2E_INSIDE=1
    unset QT_QPA_PLATFORM
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

# The real-camera library first, libgphoto2 with only the virtual camera.
export LD_LIBRARY_PATH="$library"
export IOLIBS="$vusb/iolibs" CAMLIBS="$vusb/camlibs"
# libgphoto2 unloads its drivers, so their leaks cannot be told apart in a
# sanitizer build; the library's own leaks are checked by its test suite.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
card_picture="$vusb/vcamera/DCIM/100TAVRN/TAVR0001.JPG"

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder"
# The virtual camera reads its USB id from the port file in the working folder.
cp "$vusb/001,001" .

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
sleep 0.5
xdotool key Return # the only camera is preselected
wait_for "[ \$(xdotool search --onlyvisible --name '^TAVREN\$' | wc -l) -eq 1 ]" 100 ||
    fail "the camera selection did not close (no camera, or it did not connect)"
sleep 0.5

# Shoot, at its place in the template (421, 211, 50, 14 dialog units).
window=$(xdotool search --onlyvisible --name '^TAVREN$' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"
x=$((X + WIDTH * (421 + 25) / 490))
y=$((Y + HEIGHT * (211 + 7) / 266))
xdotool mousemove "$x" "$y" click 1
wait_for "ls *.JPG" 300 || fail "no picture arrived"
sleep 0.5
pictures=$(ls -- *.JPG)
[ "$(echo "$pictures" | wc -l)" -eq 1 ] || fail "expected one picture, found: $pictures"
cmp -s "$pictures" "$card_picture" || fail "$pictures differs from the picture on the camera's card"

xdotool windowfocus --sync "$window" key Escape
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "passed: $pictures"
