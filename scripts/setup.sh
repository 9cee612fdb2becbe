#!/bin/sh
# Installs the Debian packages TAVREN needs, when one is missing. Safe to run
# again: when everything is there it installs nothing and writes nothing.
#   scripts/setup.sh run    what building and running need
#   scripts/setup.sh test   that, plus the test tools and, for the real-camera
#                           tests, Debian's source entries (apt-get source)
set -eu

purpose="${1:-run}"

# Compiler and build tools, Qt with its GL headers, TurboJPEG and libjpeg's
# headers for the decoder, libgphoto2 for real cameras, a font for the window.
RUN_PACKAGES="
cmake ninja-build g++ gcc pkg-config
qt6-base-dev libgl-dev fonts-dejavu-core
libturbojpeg0-dev libjpeg62-turbo-dev
libgphoto2-dev
"
# GoogleTest, sanitizer and fuzzing compilers, test photographs and JPEG
# tools, the virtual X server and its drivers, the package checks, and what
# building libgphoto2's virtual camera from source needs.
TEST_PACKAGES="
libgtest-dev
clang libclang-rt-14-dev llvm
mate-backgrounds libjpeg-turbo-progs
xvfb xauth xdotool x11-utils imagemagick
dpkg-dev file desktop-file-utils appstream xdg-user-dirs librsvg2-bin
"

case "$purpose" in
    run) packages="$RUN_PACKAGES" ;;
    test) packages="$RUN_PACKAGES $TEST_PACKAGES" ;;
    *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    $SUDO apt-get update -qq
    # Through env: sudo does not pass the caller's environment on.
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
fi

[ "$purpose" = test ] || exit 0

# The real-camera tests build libgphoto2's virtual camera from Debian's own
# libgphoto2 source package: apt-get source needs deb-src entries. When none
# is configured, they mirror the Debian archive entries in use, in a file of
# this project's own.
DEB_SRC_LIST=/etc/apt/sources.list.d/tavren-deb-src.sources
has_deb_src() {
    grep -qsE '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list ||
        grep -qsE '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources
}
if ! has_deb_src; then
    deb_src="$(
        for file in /etc/apt/sources.list.d/*.sources; do
            [ -f "$file" ] || continue
            # deb822 stanzas of Debian's archive, as deb-src.
            awk 'BEGIN { RS = ""; ORS = "\n\n" }
                 /(^|\n)Types:[^\n]*deb/ && /(^|\n)URIs:[^\n]*debian/ {
                     sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$file"
        done
        if [ -f /etc/apt/sources.list ]; then
            # one-line entries of Debian's archive, as deb822 stanzas
            awk '$1 == "deb" && $2 ~ /debian/ && $2 !~ /^\[/ {
                     printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $2, $3
                     for (i = 4; i <= NF; i++) printf " %s", $i
                     printf "\n\n" }' /etc/apt/sources.list
        fi
    )"
    if [ -n "$deb_src" ]; then
        echo "Adding Debian source entries: $DEB_SRC_LIST"
        printf '%s\n' "$deb_src" | $SUDO tee "$DEB_SRC_LIST" >/dev/null
        $SUDO apt-get update -qq
    fi
fi
