#!/usr/bin/env bash
# Installs the built runtime into a temporary prefix, then builds the first program outside the
# tree three ways (find_package(Velmora) with velmora_add_program, g++ with pkg-config, and the
# installed velmora command), runs each
# headless for three frames and checks its screenshot's pixels. The BASIC program's translation
# is checked to follow the build type (release in Release and MinSizeRel, debug in Debug and
# with VELMORA_BASIC_DEBUG=ON), in a multi-config build folder too when Ninja is installed.
# Usage: install_and_build.sh BUILD_DIR CMAKE CXX
set -euo pipefail
build=$1 cmake=$2 cxx=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

step() {  # step LOG COMMAND...: runs the command, showing its output only when it fails
  local log=$work/$1
  shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log"
    echo "FAILED: $*"
    exit 1
  fi
}

translated_with() {  # translated_with BUILD_DIR debug|release WHAT: checks how first_basic was translated
  # vlmc --debug puts the line hook (VLM_LINE) before every statement, --release only the note of
  # the statement's position (VLM_STATEMENT).
  local module want=$2 has=VLM_STATEMENT other=VLM_LINE
  module=$(find "$1/first_basic_basic" -name 'first_basic_module0_*.cpp' 2>/dev/null | head -n 1)
  [[ $want == debug ]] && has=VLM_LINE other=VLM_STATEMENT
  if [[ -z "$module" ]] || ! grep -q "$has(" "$module" || grep -q "$other(" "$module"; then
    echo "first_basic of $3 is not translated with --$want (${module:-no translated module})"
    exit 1
  fi
}

configure_first() {  # configure_first LOG DIR CMAKE_ARGS...: configures the CMake project in DIR
  local log=$1 dir=$2
  shift 2
  step "$log" "$cmake" -S "$work/with-cmake" -B "$dir" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" "$@"
}

run_headless() {  # run_headless DIR [PROGRAM]: runs DIR/PROGRAM for three frames, checks the screenshot
  local program=${2:-first}
  (cd "$1" && step "$(basename "$1").$program.run" env SDL_VIDEODRIVER=offscreen DISPLAY= \
    timeout 120 "./$program" --frames 3 --screenshot "$program.png")
  python3 "$here/check_screenshot.py" "$1/$program.png"
}

step install.log "$cmake" --install "$build" --prefix "$prefix"

# 1. A CMake project that finds the installed package.
mkdir "$work/with-cmake"
cp "$here/first_program.cpp" "$here/first_program.bas" "$work/with-cmake/"
cp "$here/CMakeLists.program.txt" "$work/with-cmake/CMakeLists.txt"
configure_first cmake-configure.log "$work/with-cmake/build" -DCMAKE_BUILD_TYPE=Release
found=$(sed -n 's/^Velmora_DIR:PATH=//p' "$work/with-cmake/build/CMakeCache.txt")
if [[ "$found" != "$prefix"/* ]]; then
  echo "find_package(Velmora) found '$found', not the package in $prefix"
  exit 1
fi
step cmake-build.log "$cmake" --build "$work/with-cmake/build"
run_headless "$work/with-cmake/build"
# The same program from BASIC, translated by the installed vlmc.
run_headless "$work/with-cmake/build" first_basic
# Its line map lies beside it, where the installed debug adapter looks for it.
if ! grep -q '"format":"vlmmap 1"' "$work/with-cmake/build/first_basic.vlmmap" 2>/dev/null; then
  echo "no line map first_basic.vlmmap beside the program built from BASIC"
  exit 1
fi
# The translation follows the build type: Release translates for release, Debug for the debug
# adapter, and VELMORA_BASIC_DEBUG keeps the debug translation in a Release build (but not over
# VELMORA_BASIC_RELEASE).
translated_with "$work/with-cmake/build" release "the Release build"
configure_first keep-debug-configure.log "$work/keep-debug" -DCMAKE_BUILD_TYPE=Release -DVELMORA_BASIC_DEBUG=ON
step keep-debug-build.log "$cmake" --build "$work/keep-debug" --target first_basic
translated_with "$work/keep-debug" debug "the Release build with VELMORA_BASIC_DEBUG=ON"
# VELMORA_BASIC_RELEASE still translates for release with it: configured again, the same folder
# translates again.
configure_first keep-debug-release-configure.log "$work/keep-debug" -DVELMORA_BASIC_RELEASE=ON
step keep-debug-release-build.log "$cmake" --build "$work/keep-debug" --target first_basic
translated_with "$work/keep-debug" release "the build with VELMORA_BASIC_DEBUG=ON and VELMORA_BASIC_RELEASE=ON"
configure_first debug-configure.log "$work/debug" -DCMAKE_BUILD_TYPE=Debug
step debug-build.log "$cmake" --build "$work/debug" --target first_basic
translated_with "$work/debug" debug "the Debug build"
# A multi-config generator chooses per configuration, in one build folder.
if command -v ninja >/dev/null; then
  configure_first multi-configure.log "$work/multi" -G "Ninja Multi-Config" \
    "-DCMAKE_CONFIGURATION_TYPES=Debug;MinSizeRel"
  step multi-minsizerel-build.log "$cmake" --build "$work/multi" --config MinSizeRel --target first_basic
  translated_with "$work/multi" release "the MinSizeRel configuration of a multi-config build"
  step multi-debug-build.log "$cmake" --build "$work/multi" --config Debug --target first_basic
  translated_with "$work/multi" debug "the Debug configuration of a multi-config build"
fi
step vlmdap.log "$prefix/bin/vlmdap" --help
# The language server, and the VS Code extension that starts both when the build packaged one.
step vlmls.log "$prefix/bin/vlmls" --help
for vsix in "$build"/editors/vscode/velmora-basic-*.vsix; do
  [[ -f "$vsix" ]] || continue
  if ! cmp -s "$vsix" "$prefix/share/velmora/editors/$(basename "$vsix")"; then
    echo "the VS Code extension $(basename "$vsix") is not installed in share/velmora/editors"
    exit 1
  fi
done

# 2. One compiler command line with the flags pkg-config gives.
pc=$(find "$prefix" -name velmora.pc)
mkdir "$work/with-pkg-config"
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags --libs velmora)
step pkg-config-build.log "$cxx" -std=c++20 -o "$work/with-pkg-config/first" \
  "$here/first_program.cpp" $flags
run_headless "$work/with-pkg-config"

# 3. The installed velmora command, on the installed runtime: a new project whose module is the
# first program, run headless, and its release build.
step velmora-new.log "$prefix/bin/velmora" new "$work/with-velmora"
cp "$here/first_program.bas" "$work/with-velmora/main.bas"
(cd "$work/with-velmora" && step velmora-run.log env SDL_VIDEODRIVER=offscreen DISPLAY= \
  timeout 300 "$prefix/bin/velmora" run -- --frames 3 --screenshot "$work/with-velmora/first.png")
python3 "$here/check_screenshot.py" "$work/with-velmora/first.png"
if [[ "$(cd "$work/with-velmora" && "$prefix/bin/velmora" build --release 2>/dev/null)" != "$work/with-velmora/.velmora/release/with-velmora" ]]; then
  echo "the installed velmora did not build the release program where it says"
  exit 1
fi
# It builds on the install, not on the build tree: the libraries it names are the prefix's.
if grep -v "^#" "$prefix/share/velmora/toolchain.txt" | grep -q "$build"; then
  echo "the installed toolchain description names the build tree"
  exit 1
fi
echo "the installed package builds the program with CMake, with pkg-config and with velmora; all draw it"
