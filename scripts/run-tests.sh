#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
#   scripts/run-tests.sh [ctest options]             the normal build, in build/ (or $BUILD_DIR)
#   scripts/run-tests.sh --sanitize [ctest options]  everything built with ASan, LSan and UBSan,
#                                                    in build-san/; any finding fails its test
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
scripts/setup.sh
if [[ ${1:-} == --sanitize ]]; then
  shift
  export BUILD_DIR=${BUILD_DIR:-build-san}
  export VELMORA_CMAKE_ARGS="-DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF ${VELMORA_CMAKE_ARGS:-}"
  SUPP=$ROOT/tests/sanitize
  export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
  export LSAN_OPTIONS=suppressions=$SUPP/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=suppressions=$SUPP/ubsan.supp:print_stacktrace=1:halt_on_error=1
  # The leak checker stops every thread of a process at its exit; now and then its tracer crashes
  # while the GL driver's threads wind down ("Tracer caught signal 11", no leak reported). A test
  # that fails is run again, up to three runs: a real finding fails every time.
  set -- --repeat until-pass:3 "$@"
fi
scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" "$@"
