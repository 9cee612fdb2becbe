#!/bin/sh
# Installs every Debian package that building, running and testing TAVREN need,
# when one is missing. Safe to run again: it installs nothing that is there.
set -eu

PACKAGES="
cmake ninja-build g++ gcc pkg-config
qt6-base-dev libgl-dev fonts-dejavu-core
libturbojpeg0-dev libjpeg62-turbo-dev libjpeg-turbo-progs
libgphoto2-dev dpkg-dev
mate-backgrounds
libgtest-dev
clang libclang-rt-14-dev llvm
xvfb xauth xdotool x11-utils imagemagick
dpkg-dev file desktop-file-utils appstream xdg-user-dirs librsvg2-bin
"

missing=""
for package in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi

# The real-camera tests build libgphoto2's virtual camera from Debian's own
# libgphoto2 source package: apt-get source needs deb-src entries. They mirror
# the Debian archive entries in use, in a file of this project's own.
DEB_SRC_LIST=/etc/apt/sources.list.d/tavren-deb-src.sources
if [ ! -f "$DEB_SRC_LIST" ]; then
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
        SUDO=""
        if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
        printf '%s\n' "$deb_src" | $SUDO tee "$DEB_SRC_LIST" >/dev/null
        $SUDO apt-get update -qq
    fi
fi
