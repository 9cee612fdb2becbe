#!/bin/sh
# The program opens its libraries through the loader's search order and
# nothing else: a library that is found but cannot load ends the start-up
# without another copy being tried, and the folder the program is started in
# (the user's pictures) is never searched.
#   library_search_test.sh <tavren> <library folder> <unloadable camera library folder>
set -eu

program=$1
libraries=$2
unloadable=$3

command -v timeout >/dev/null || { echo "SKIPPED: timeout is missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL ($case): $*" >&2; exit 1; }

# Runs the program offscreen with the loader's file log; a program that found
# its libraries opens its window and waits, so ending in time means it gave up.
run() {
    status=0
    env "$@" QT_QPA_PLATFORM=offscreen LD_DEBUG=files LD_DEBUG_OUTPUT="$work/loader" \
        timeout 30 "$program_copy" >"$work/out" 2>"$work/err" || status=$?
    [ "$status" -ne 124 ] || fail "the program did not end: it found libraries it should not have"
    cat "$work"/loader.* >"$work/loaded"
    rm -f "$work"/loader.*
}
loaded() { grep -F 'generating link map' "$work/loaded" | grep -qF "$1"; }

case="a camera library with a missing dependency first on LD_LIBRARY_PATH"
program_copy=$program
run LD_LIBRARY_PATH="$unloadable:$libraries"
grep -qF 'libTavrenVanishing.so' "$work/err" || fail "the loader's reason is not on standard error: $(cat "$work/err")"
loaded "$libraries/libVRX4KAPI.so" && fail "the simulated camera library was loaded in its place"

case="a program without its libraries, started in a folder that holds both"
mkdir -p "$work/bin" "$work/pictures"
cp "$program" "$work/bin/"
cp "$libraries/libVRX4KAPI.so" "$libraries/libExif.so" "$work/pictures/"
program_copy="$work/bin/$(basename "$program")"
cd "$work/pictures"
run -u LD_LIBRARY_PATH
grep -qF 'libExif.so' "$work/err" || fail "the loader's reason is not on standard error: $(cat "$work/err")"
loaded "libExif.so" && fail "the decoder library was loaded from the current folder"
loaded "libVRX4KAPI.so" && fail "the camera library was loaded from the current folder"

echo "libraries come from the loader's search order alone"
