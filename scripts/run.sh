#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer on the user's display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh" --target sphaerix
exec "$root/build/sphaerix"
