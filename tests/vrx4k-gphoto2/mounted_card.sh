#!/bin/sh
# Runs a test program with a memory card mounted: a tmpfs holding a DCIM
# folder, in a user and mount namespace of its own, named to the program in
# TAVREN_MOUNTED_CARD. Exits 77 (skipped) where mounting is not allowed.
# Usage: mounted_card.sh PROGRAM [ARGUMENTS...]
set -eu
if ! unshare -rm true 2>/dev/null; then
    echo "mounted_card.sh: SKIPPED: no mount rights (user namespaces are off)" >&2
    exit 77
fi
folder="$(mktemp -d)"
trap 'rm -rf "$folder"' EXIT
mkdir "$folder/card"
# shellcheck disable=SC2016
unshare -rm sh -c '
    card="$1"; shift
    mount -t tmpfs tavren-card "$card" || { echo "mounted_card.sh: SKIPPED: cannot mount" >&2; exit 77; }
    mkdir "$card/DCIM"
    TAVREN_MOUNTED_CARD="$card" "$@"
' mounted_card "$folder/card" "$@"
