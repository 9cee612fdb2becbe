#!/bin/sh
# Installs what is missing, configures, builds and runs the whole test suite.
#   scripts/test.sh            the normal build, in build/default
#   scripts/test.sh sanitize   AddressSanitizer + UndefinedBehaviorSanitizer, in build/sanitize
set -eu
cd "$(dirname "$0")/.."

configuration="${1:-default}"
case "$configuration" in
    default) options="" ;;
    sanitize) options="-DTAVREN_SANITIZE=ON" ;;
    *) echo "usage: $0 [default|sanitize]" >&2; exit 2 ;;
esac

scripts/setup.sh

build="build/$configuration"
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja -DTAVREN_WERROR=ON $options >/dev/null
cmake --build "$build"

export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600
