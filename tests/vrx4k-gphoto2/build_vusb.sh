#!/bin/sh
# Builds libgphoto2's virtual USB camera ("vusb" port driver with its virtual
# PTP camera) from Debian's own libgphoto2 source package, which Debian's
# binary packages leave out, and lays out what it needs:
#   OUT/iolibs/vusb.so      point libgphoto2's IOLIBS here
#   OUT/camlibs/ptp2.so     the one camera driver it needs, for CAMLIBS
#   OUT/camlibs-noevents/   the same driver without event waiting, for CAMLIBS
#   OUT/001,001             the port file: the virtual camera's USB id
#                           (read from the working directory: run there)
#   OUT/vcamera/DCIM/...    the camera's card, with one test picture
# Usage: build_vusb.sh OUT. Does nothing when OUT is up to date.
# Exits 77 when the source package cannot be had (tests are then skipped).
set -eu

out="${1:?usage: build_vusb.sh OUT}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

version="$(dpkg-query -W -f='${Version}' libgphoto2-dev 2>/dev/null || true)"
if [ -z "$version" ]; then
    echo "build_vusb.sh: libgphoto2-dev is not installed (run scripts/setup.sh test)" >&2
    exit 1
fi
stamp="$out/vusb.stamp"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -f "$out/iolibs/vusb.so" ] &&
   [ "$stamp" -nt "$0" ] && [ "$stamp" -nt "$(dirname "$0")/vusb_unplug.c" ] &&
   [ "$stamp" -nt "$(dirname "$0")/no_event_driver.c" ]; then
    exit 0
fi

source_root="$out/source"
source_dir="$(find "$source_root" -maxdepth 1 -type d -name 'libgphoto2-*' 2>/dev/null | head -n 1)"
if [ ! -f "$source_root/version" ] || [ "$(cat "$source_root/version")" != "$version" ] || [ -z "$source_dir" ]; then
    rm -rf "$source_root"
    mkdir -p "$source_root"
    if ! (cd "$source_root" && apt-get source -qq "libgphoto2=$version" >apt.log 2>&1); then
        cat "$source_root/apt.log" >&2
        echo "build_vusb.sh: SKIPPED: Debian's libgphoto2 $version source package cannot be had" \
             "(scripts/setup.sh test adds the deb-src entries; apt-get update must have run)." \
             "The virtual camera tests are skipped." >&2
        exit 77
    fi
    echo "$version" >"$source_root/version"
    source_dir="$(find "$source_root" -maxdepth 1 -type d -name 'libgphoto2-*' | head -n 1)"
fi
port="$source_dir/libgphoto2_port"

# The driver replays a recorded session from the port file when it can open
# it, which is meant for fuzzing; here the port file only carries the USB id,
# so the camera is always emulated.
build="$out/build"
rm -rf "$build"
mkdir -p "$build" "$out/iolibs"
cp "$port/vusb/vcamera.c" "$build/vcamera.c"
sed -i -e 's|cam->fuzzf = fopen(s+1,"rb");|cam->fuzzf = NULL;|' \
       -e 's|if (cam->fuzzf == NULL) perror(s+1);||' "$build/vcamera.c"
if ! grep -q 'cam->fuzzf = NULL;' "$build/vcamera.c"; then
    echo "build_vusb.sh: vcamera.c of libgphoto2 $version no longer has the replay line" >&2
    exit 1
fi
# The camera declares its card full at its 151st picture, counting from 98;
# VCAMERA_PICTURE_COUNT starts the count elsewhere, so that a test reaches a
# full card in a shot or two.
sed -i -e '/^ptp_initiatecapture_write/,/^}/ {
    s|static int\t\tcapcnt = 98;|static int\t\tcapcnt = -1;|
    s|CHECK_PARAM_COUNT(2);|CHECK_PARAM_COUNT(2);\n\tif (capcnt < 0) capcnt = getenv("VCAMERA_PICTURE_COUNT") ? atoi(getenv("VCAMERA_PICTURE_COUNT")) : 98;|
}' "$build/vcamera.c"
if ! grep -q VCAMERA_PICTURE_COUNT "$build/vcamera.c"; then
    echo "build_vusb.sh: vcamera.c of libgphoto2 $version no longer counts its pictures as expected" >&2
    exit 1
fi
echo '#define HAVE_SYS_PARAM_H 1' >"$build/config.h"
# vusb_unplug.c lets a test pull the cable or cut downloads short (see there).
# shellcheck disable=SC2046
for unit in "$port/vusb/vusb.c" "$build/vcamera.c"; do
    gcc -c -fPIC -O1 -w -D_GPHOTO2_INTERNAL_CODE "-DVCAMERADIR=\"$out/vcamera\"" \
        -Dgp_port_library_operations=vusb_original_operations \
        -I"$build" -I"$port" -I"$source_dir" -I"$port/vusb" \
        $(pkg-config --cflags libgphoto2_port) "$unit" -o "$build/$(basename "$unit" .c).o"
done
gcc -shared -fPIC -O1 -Wall -I"$port" "$(dirname "$0")/vusb_unplug.c" "$build/vusb.o" "$build/vcamera.o" \
    -o "$out/iolibs/vusb.so" $(pkg-config --cflags --libs libgphoto2_port) -Wl,--no-undefined

# Detection loads, and unloads, every camera driver in CAMLIBS: only the PTP
# one is needed.
mkdir -p "$out/camlibs" "$out/camlibs-noevents"
ptp2="$(pkg-config --variable=driverdir libgphoto2)/ptp2.so"
ln -sf "$ptp2" "$out/camlibs/ptp2.so"
# shellcheck disable=SC2046
gcc -shared -fPIC -O1 -Wall "-DPTP2_DRIVER=\"$ptp2\"" "$(dirname "$0")/no_event_driver.c" \
    -o "$out/camlibs-noevents/ptp2-noevents.so" $(pkg-config --cflags --libs libgphoto2) -ldl -Wl,--no-undefined

# Nikon D750 (04b0:0437), the model the virtual camera says it is.
printf '\260\004\067\004' >"$out/001,001"

# The card: one JPEG that every capture duplicates. The camera needs a DCIM
# folder to capture into.
card="$out/vcamera/DCIM/100TAVRN"
rm -rf "$out/vcamera"
mkdir -p "$card"
awk 'BEGIN {
    w = 320; h = 240; printf "P3\n%d %d\n255\n", w, h;
    for (y = 0; y < h; y++) for (x = 0; x < w; x++)
        printf "%d %d %d\n", (x * 255) / w, (y * 255) / h, ((x * y) % 256);
}' >"$build/picture.ppm"
cjpeg -quality 90 "$build/picture.ppm" >"$card/TAVR0001.JPG"

echo "$version" >"$stamp"
echo "build_vusb.sh: virtual camera ready in $out"
