#!/bin/sh
# Builds the fuzz harnesses with clang and libFuzzer and runs each for a while.
#   scripts/fuzz.sh [SECONDS]    SECONDS per fuzzer, 60 by default
# Works in build/fuzz; the corpus grown by each fuzzer is kept between runs in
# build/fuzz/corpus/<name>. Exits non-zero when a fuzzer finds a crash, a
# timeout, a leak or runs out of memory, and prints the input that did it.
set -eu
cd "$(dirname "$0")/.."

seconds="${1:-60}"
case "$seconds" in
    '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac

scripts/setup.sh test

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DTAVREN_FUZZ=ON >/dev/null
cmake --build "$build"

# Real photographs for the decoder's corpus (mate-backgrounds, installed by
# setup.sh), scaled down by the seed script.
photos=$(find /usr/share/backgrounds/mate/nature -name '*.jpg' 2>/dev/null | sort | head -n 6)
rm -rf "$build/seeds"
# shellcheck disable=SC2086
tests/fuzz/make_seeds.sh "$build/seeds" $photos

export ASAN_OPTIONS="abort_on_error=0:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

status=0
for name in exif_decoder camera_records; do
    corpus="$build/corpus/$name"
    artifacts="$build/artifacts/$name"
    rm -rf "$artifacts"
    mkdir -p "$corpus" "$artifacts"
    # Keep only the inputs that still add coverage, so the corpus does not
    # grow without end from run to run.
    if [ -n "$(ls -A "$corpus")" ]; then
        rm -rf "$corpus.merged"
        mkdir "$corpus.merged"
        if "$build/bin/${name}_fuzzer" -merge=1 -rss_limit_mb=2048 -timeout=10 "$corpus.merged" "$corpus" \
            >"$build/$name.merge.log" 2>&1; then
            rm -rf "$corpus"
            mv "$corpus.merged" "$corpus"
        else
            rm -rf "$corpus.merged"
        fi
    fi
    # libFuzzer refuses folders that do not exist.
    inputs="$build/seeds/$name"
    for folder in tests/fuzz/seeds/$name tests/fuzz/regressions/$name; do
        if [ -d "$folder" ]; then inputs="$inputs $folder"; fi
    done
    echo "== $name: $seconds s"
    # shellcheck disable=SC2086
    if "$build/bin/${name}_fuzzer" "$corpus" $inputs \
        -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" >"$build/$name.log" 2>&1; then
        grep -E '^(#[0-9]+[[:space:]]+DONE|stat::)' "$build/$name.log" || true
        echo "corpus: $(find "$corpus" -type f | wc -l) inputs"
    else
        status=1
        tail -n 60 "$build/$name.log"
        for input in "$artifacts"/*; do
            [ -f "$input" ] || continue
            echo "-- found: $input ($(wc -c <"$input") bytes)"
            od -A x -t x1z -N 256 "$input"
        done
    fi
done
exit "$status"
