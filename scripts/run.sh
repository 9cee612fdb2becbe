#!/bin/sh
# Installs what is missing, builds TAVREN (build/run) and opens it with the
# simulated camera. Pictures go to your Pictures folder: the program stores
# them in the folder it is started in.
# TAVREN_CAMERA=gphoto2 scripts/run.sh uses the real cameras libgphoto2 finds
# instead (docs/real-cameras.md).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

if [ $# -gt 0 ]; then
    echo "TAVREN has no options; ignoring: $*" >&2
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "There is no display to open TAVREN's window on (DISPLAY and WAYLAND_DISPLAY are empty)." >&2
    echo "Run this on a desktop, or under a virtual X server:  xvfb-run -a scripts/run.sh" >&2
    exit 1
fi

camera="${TAVREN_CAMERA:-simulated}"
case "$camera" in
    simulated) camera_target=vrx4k_sim; camera_text="the simulated camera" ;;
    gphoto2) camera_target=vrx4k_gphoto2; camera_text="the cameras libgphoto2 finds" ;;
    *) echo "TAVREN_CAMERA: expected 'simulated' or 'gphoto2', got '$camera'" >&2; exit 2 ;;
esac

scripts/setup.sh run

# A build folder of its own, without the tests, laid out as the installed
# program: bin/tavren and its libraries in lib/tavren.
build="$root/build/run"
cmake -S . -B "$build" -G Ninja -DTAVREN_BUILD_TESTS=OFF -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
cmake --build "$build" --target tavren "$camera_target" exif
if [ "$camera" = gphoto2 ]; then
    # The real-camera library has its own folder: first on the search path, it
    # stands in for the simulated one in the program's library folder.
    LD_LIBRARY_PATH="$build/lib/tavren/gphoto2${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
    export LD_LIBRARY_PATH
fi

# xdg-user-dir answers the home folder itself when no Pictures folder is set.
pictures=""
if command -v xdg-user-dir >/dev/null 2>&1; then
    pictures=$(xdg-user-dir PICTURES 2>/dev/null || true)
fi
if [ -z "$pictures" ] || [ "$pictures" = "$HOME" ]; then
    pictures="$HOME/Pictures"
fi
mkdir -p "$pictures"

echo "Opening TAVREN with $camera_text; pictures go to $pictures"
cd "$pictures"
exec "$build/bin/tavren"
