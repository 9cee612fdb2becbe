#!/bin/sh
# Installs what is missing, configures, builds and runs the whole test suite.
#   scripts/test.sh            the normal build, in build/default
#   scripts/test.sh sanitize   AddressSanitizer + UndefinedBehaviorSanitizer, in build/sanitize
#   scripts/test.sh thread     ThreadSanitizer on the tests where threads meet: a camera
#                              library's thread calls back, the decoder decodes in bands,
#                              the store writes on helper threads (label "threads"), in build/thread
set -eu
cd "$(dirname "$0")/.."

configuration="${1:-default}"
case "$configuration" in
    default) options="" ;;
    sanitize) options="-DTAVREN_SANITIZE=ON" ;;
    thread) options="-DTAVREN_THREAD_SANITIZE=ON" ;;
    *) echo "usage: $0 [default|sanitize|thread]" >&2; exit 2 ;;
esac

scripts/setup.sh test

build="build/$configuration"
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja -DTAVREN_WERROR=ON $options >/dev/null
if [ "$configuration" = thread ]; then
    # Qt is not built for ThreadSanitizer: only the Qt-free threaded suites.
    cmake --build "$build" --target vrx4k_sim vrx4k_sim_tests camera_tests vrx4k_gphoto2 vrx4k_gphoto2_tests \
        camera_contract_tests exif exif_decoder_tests image_file_tests
    selection="-L threads"
else
    cmake --build "$build"
    selection=""
fi

export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
# shellcheck disable=SC2086
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600 $selection
