#!/usr/bin/env bash
# Builds the program and every test with AddressSanitizer (leak checking included) and
# UndefinedBehaviorSanitizer in ./build-asan, then runs the test suite there: the unit
# tests, and the window tests each on an X server of its own as ./scripts/test.sh runs
# them, with the program they start built the same way. Any memory error, leak or
# undefined behaviour of ours fails the run.
#
# The graphics driver (Mesa) leaked a little at exit once it had unloaded itself, under no
# name. The program keeps it loaded to the end (platform/driver_residency.h), so what it
# holds stays reachable and anything it does leak carries its name; scripts/lsan.supp sets
# that apart with the few libraries whose allocations live to the end of the process
# (the session bus, Wayland's client library), listed at the end under their own heading.
#
# Arguments go to ctest, for instance -R 'Animation|Menu'. A full rebuild: slow the
# first time, quicker with ccache.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
jobs=$(nproc 2>/dev/null || echo 2)
build="$root/build-asan"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPHAERIX_SANITIZE=ON \
  -DSPHAERIX_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$jobs"

# Every process writes its reports to a file of its own here, the program started by a
# window test as well as the test itself.
reports="$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1}:log_path=$reports/asan
export LSAN_OPTIONS=${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$root/scripts/lsan.supp:print_suppressions=1
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}:log_path=$reports/ubsan
# Mesa's software rasteriser stands in where there is no GPU.
export LIBGL_ALWAYS_SOFTWARE=${LIBGL_ALWAYS_SOFTWARE:-1}

cleanup() { [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null; [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null; true; }
trap cleanup EXIT
# The window tests bring their own displays; the few that share one get this one.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 & x_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  openbox >/dev/null 2>&1 & wm_pid=$!
  sleep 0.5
fi

status=0
(cd "$build" && ctest --output-on-failure -j2 "$@") || status=1

# The reports, ours apart from the driver's.
ours=$(grep -l -E 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$reports"/* 2>/dev/null || true)
echo
echo "== Sanitizer reports of our code"
if [ -n "$ours" ]; then
  status=1
  for f in $ours; do
    echo "-- $f"
    grep -E -A12 'ERROR: |runtime error:|SUMMARY:' "$f" | head -60
  done
else
  echo "none"
fi
# The leak checker's own failure (its thread that stops the others crashing) means that
# process was not checked: said apart, and the run fails with the test.
unchecked=$(grep -l 'LeakSanitizer has encountered a fatal error' "$reports"/* 2>/dev/null || true)
echo "== Processes whose leak check could not run (the checker's own failure)"
if [ -n "$unchecked" ]; then
  for f in $unchecked; do echo "-- $f: $(grep -m1 -E 'Tracer caught|fatal error' "$f")"; done
else
  echo "none"
fi
echo "== Leaks that are not ours, set apart by scripts/lsan.supp (library, bytes, processes)"
awk '/^Suppressions used:/ {on = 1; next}
     on && /^ *[0-9]+ +[0-9]+ / {bytes[$3] += $2; seen[$3] += 1; next}
     on && !/^ *count/ {on = 0}
     END {n = 0; for (k in bytes) {printf "%-24s %8d bytes in %d processes\n", k, bytes[k], seen[k]; n++}
          if (!n) print "none"}' "$reports"/* 2>/dev/null || echo "none"
exit $status
