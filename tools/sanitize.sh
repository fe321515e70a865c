#!/usr/bin/env bash
# Builds tests with the compiler's sanitizers and runs them, each kind in a
# build folder of its own, so that build/ stays as the plain test build left
# it:
#   tools/sanitize.sh sanitize  # AddressSanitizer + UndefinedBehaviorSanitizer
#                               # in build-asan/: every test
#   tools/sanitize.sh tsan      # ThreadSanitizer in build-tsan/: the session,
#                               # recorder and two-line tests
# tools/dev.sh test --sanitize and tools/dev.sh test --tsan install what is
# missing and then come here. The first finding of any sanitizer ends its
# test program with an error and the sanitizer's report, so the test fails.
set -euo pipefail

cd "$(dirname "$0")/.."
suppressions=$PWD/tools/sanitizers

configure() {
  # Warnings are the plain test build's to catch; a sanitizer changes what
  # the optimiser sees and so what it warns about, which is no finding.
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTESSALY_BUILD_BENCH=OFF -DTESSALY_SANITIZE="$2" >/dev/null
}

case "${1:-}" in
  sanitize)
    configure build-asan address,undefined
    echo "Building the tests with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/"
    cmake --build build-asan
    export ASAN_OPTIONS=detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:detect_leaks=1
    export LSAN_OPTIONS=suppressions=$suppressions/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    cd build-asan
    # The package's checks look at installed files, not at code that runs.
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -E '^packaging_'
    ;;
  tsan)
    configure build-tsan thread
    echo "Building the session, recorder and window tests with ThreadSanitizer into build-tsan/"
    cmake --build build-tsan --target session_tests recorder_tests app_tests
    # die_after_fork=0: a test starts tessaly-record through QProcess from a
    # process with threads, which ThreadSanitizer would otherwise end at once
    # ("starting new threads after multi-threaded fork is not supported");
    # the child only executes the program.
    export TSAN_OPTIONS=suppressions=$suppressions/tsan.supp:second_deadlock_stack=1:halt_on_error=0:die_after_fork=0
    cd build-tsan
    tests/session/session_tests
    tests/recorder/recorder_tests
    # The window's tests of two lines: their capture threads, merge and
    # recording under the window's event loop.
    QT_QPA_PLATFORM=offscreen tests/app/app_tests --gtest_filter='TwoLines*:CaptureLines*'
    ;;
  *)
    echo "usage: tools/sanitize.sh sanitize|tsan" >&2
    exit 2
    ;;
esac
