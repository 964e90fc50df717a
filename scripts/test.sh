#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite. Window tests
# need a display: without one, a virtual X server with a window manager is started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh"

cleanup() { [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null; [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null; true; }
trap cleanup EXIT
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
# Mesa's software rasteriser stands in where there is no GPU.
export LIBGL_ALWAYS_SOFTWARE=${LIBGL_ALWAYS_SOFTWARE:-1}
cd "$root/build"
ctest --output-on-failure -j2 "$@"
