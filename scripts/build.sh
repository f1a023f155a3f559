#!/usr/bin/env bash
# Configures and builds everything into build/ (or $BUILD_DIR), with any extra cmake
# options in $VELMORA_CMAKE_ARGS.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
# shellcheck disable=SC2086  # the extra options are words
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} ${VELMORA_CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
