#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: a normal build, an
# AddressSanitizer + UndefinedBehaviorSanitizer build, and the threaded tests
# under ThreadSanitizer. Exits non-zero when any test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh"
out=${VELORN_BUILD_ROOT:-$root/build}
jobs=$(nproc)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

echo "== normal build"
"$root/scripts/build.sh" "$out/normal"
ctest --test-dir "$out/normal" -j"$jobs" --output-on-failure

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" "$out/asan" address,undefined
ctest --test-dir "$out/asan" -j"$jobs" --output-on-failure

echo "== ThreadSanitizer (threaded tests)"
"$root/scripts/build.sh" "$out/tsan" thread
ctest --test-dir "$out/tsan" -j"$jobs" -L threaded --output-on-failure
