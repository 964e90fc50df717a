#!/usr/bin/env bash
# Runs one window test on an X server and window manager of its own: tests that run at
# the same time cannot take each other's focus, maximise or full-screen state, and one
# test's window never lingers into the next. Without Xvfb or openbox the test runs on
# the display it was given.
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
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  [ -n "$x_pid" ] && kill "$x_pid" 2>/dev/null
  [ -n "$wm_pid" ] && wait "$wm_pid" 2>/dev/null
  [ -n "$x_pid" ] && wait "$x_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# The server picks a free display itself and says which.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$dir/display" >"$dir/x.log" 2>&1 &
x_pid=$!
for _ in $(seq 300); do
  [ -s "$dir/display" ] && break
  kill -0 "$x_pid" 2>/dev/null || { cat "$dir/x.log" >&2; exit 1; }
  sleep 0.05
done
n=$(tr -d '\n' <"$dir/display")
[ -n "$n" ] || { echo "own_display.sh: Xvfb named no display" >&2; exit 1; }
export DISPLAY=":$n"
unset WAYLAND_DISPLAY

openbox >"$dir/wm.log" 2>&1 &
wm_pid=$!
# The window manager is ready once it has put up its check window. Tests of full screen,
# maximise and focus mean nothing without it, so none runs then.
ready=""
for _ in $(seq 600); do
  if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then ready=1; break; fi
  kill -0 "$wm_pid" 2>/dev/null || break
  sleep 0.05
done
if [ -z "$ready" ]; then
  echo "own_display.sh: the window manager did not start on $DISPLAY" >&2
  cat "$dir/wm.log" >&2
  exit 1
fi
# A slow start is worth knowing when a test's time looks odd.
[ "$SECONDS" -gt 5 ] && echo "own_display.sh: the display took ${SECONDS} s to start" >&2

"$@"
