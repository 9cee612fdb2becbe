#!/bin/sh
# Installs every Debian package that building, running and testing TAVREN need,
# when one is missing. Safe to run again: it installs nothing that is there.
set -eu

PACKAGES="
cmake ninja-build g++ gcc pkg-config
qt6-base-dev libgl-dev fonts-dejavu-core
libturbojpeg0-dev libjpeg-turbo-progs
mate-backgrounds
libgtest-dev
clang libclang-rt-14-dev llvm
xvfb xauth xdotool x11-utils
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
