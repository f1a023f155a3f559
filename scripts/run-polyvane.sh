#!/usr/bin/env bash
# Installs what is missing, builds, and runs Polyvane. With a display it opens
# the window; without one it renders 300 frames offscreen, prints the frame
# rate and saves the last frame as polyvane-screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  exec "$BUILD_DIR/polyvane" "$@"
fi
shot="$PWD/polyvane-screenshot.png"
"$BUILD_DIR/polyvane" --frames 300 --screenshot "$shot" "$@"
echo "No display: rendered offscreen; the last frame is in $shot"
