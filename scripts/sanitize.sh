#!/usr/bin/env bash
# Builds the scene and application tests with AddressSanitizer (leak checking included)
# and UndefinedBehaviorSanitizer in ./build-asan, then runs them. Any memory error, leak
# or undefined behaviour fails the run. Extra arguments go to both test programs (for
# instance --gtest_filter=Animation*).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
jobs=$(nproc 2>/dev/null || echo 2)
build="$root/build-asan"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPHAERIX_SANITIZE=ON \
  -DSPHAERIX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target scene_tests app_tests

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The application tests need no display.
export QT_QPA_PLATFORM=offscreen

status=0
for t in scene_tests app_tests; do
  echo "== $t"
  "$build/tests/$t" "$@" || status=1
done
exit $status
