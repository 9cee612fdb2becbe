#!/bin/sh
# A drop folder (mode 0733: others may create files in it but not list it)
# as the destination, in the real program run as the unprivileged user nobody
# with the simulated camera: a JPEG and a raw picture are stored there byte
# for byte, with no box. Run as root, the program is started through setpriv;
# as anyone else, or without setpriv, the scenario is skipped.
#   drop_folder.sh <tavren>
set -eu
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/harness.sh"

[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root to run the program as another user" >&2; exit 77; }
e2e_require setpriv
nobody=65534

# nobody reaches the drop folder and writes the camera's log, nothing else.
chmod 0711 "$work"
mkdir -m 0733 "$work/drop"
mkdir -m 0777 "$work/shared"
log="$work/shared/camera.log"
cat >"$work/as-nobody" <<WRAPPER
#!/bin/sh
exec setpriv --reuid=$nobody --regid=$nobody --clear-groups -- "$program" "\$@"
WRAPPER
chmod 0700 "$work/as-nobody"
if ! setpriv --reuid=$nobody --regid=$nobody --clear-groups -- test -x "$program"; then
    echo "skipped: the user nobody cannot run $program (a folder on its path is closed)" >&2
    exit 77
fi
program="$work/as-nobody"

start_program "$work/drop" VRX4K_SIM_SCRIPT="jpeg,raw" XDG_RUNTIME_DIR="$work/shared"
[ "$(ps -o uid= -p "$pid" | tr -d ' ')" -eq $nobody ] || fail "the program does not run as nobody"
setpriv --reuid=$nobody --regid=$nobody --clear-groups -- ls "$work/drop" >/dev/null 2>&1 &&
    fail "nobody may list the drop folder: the case is not set up"
select_first_camera

step="a JPEG and a raw picture into the drop folder"
press_shoot 2
wait_for_delivered 2
sleep 0.5
[ "$(windows_named '^Vrx4kShooting Sample$')" -eq 0 ] || fail "a box opened"
close_program

step="the stored pictures"
delivered_sums 1 2 >"$work/expected"
check_folder_holds "$work/drop" "$work/expected"
echo "passed: 2 pictures stored byte for byte in a folder its user may not list"
