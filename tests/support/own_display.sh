#!/usr/bin/env bash
# Runs one window test on an X server and window manager of its own: tests that run at
# the same time cannot take each other's focus, maximise or full-screen state, and one
# test's window never lingers into the next. Without Xvfb, openbox or xprop the test
# runs on the display it was given (the build then runs these tests one at a time).
#
# Usage: own_display.sh <test program> [arguments...]
set -u
for arg in "$@"; do
  # Listing the tests shows no window.
  [ "$arg" = --gtest_list_tests ] && exec "$@"
done
if ! command -v Xvfb >/dev/null || ! command -v openbox >/dev/null || ! command -v xprop >/dev/null; then
  exec "$@"
fi

dir=$(mktemp -d)
x_pid="" wm_pid=""
stop() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$x_pid" ] && kill "$x_pid" 2>/dev/null && wait "$x_pid" 2>/dev/null
  x_pid="" wm_pid=""
}
trap 'stop; rm -rf "$dir"' EXIT
trap 'exit 143' TERM INT

# Starts a server on a display it picks itself, and the window manager on it; false when
# either does not come up (a display another server took at the same moment, say).
start() {
  : >"$dir/display"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$dir/display" >"$dir/x.log" 2>&1 &
  x_pid=$!
  for _ in $(seq 300); do
    [ -s "$dir/display" ] && break
    kill -0 "$x_pid" 2>/dev/null || return 1
    sleep 0.05
  done
  DISPLAY=":$(tr -d '\n' <"$dir/display")"
  export DISPLAY
  [ "$DISPLAY" != ":" ] && xprop -root >/dev/null 2>&1 || return 1
  openbox >"$dir/wm.log" 2>&1 &
  wm_pid=$!
  # Ready once it has put up its check window.
  for _ in $(seq 600); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    kill -0 "$wm_pid" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

unset WAYLAND_DISPLAY
# Tests of full screen, maximise and focus mean nothing without a window manager, so
# none runs without one.
for attempt in 1 2 3 4 5; do
  start && break
  stop
  if [ "$attempt" = 5 ]; then
    echo "own_display.sh: no X server with a window manager could be started" >&2
    cat "$dir/x.log" "$dir/wm.log" >&2 2>/dev/null
    exit 1
  fi
  sleep 0.$((RANDOM % 9 + 1))
done
# A slow start is worth knowing when a test's time looks odd.
[ "$SECONDS" -gt 5 ] && echo "own_display.sh: the display took ${SECONDS} s to start" >&2

"$@"
