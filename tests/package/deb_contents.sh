#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary folder and checks its control fields and
# file list: the -dev dependencies, every public header and no internal one, the libraries, the
# CMake package, velmora.pc, vlmpack, vlmc, velmora and its toolchain description, vlmdap, vlmls, the VS Code extension (when the build
# packaged it) and the data tables; and that apt could install it.
# Usage: deb_contents.sh BUILD_DIR CPACK SOURCE_DIR
set -euo pipefail
build=$1 cpack=$2 source=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
libdir=/usr/$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
deb=$work/velmora_${version}_$(dpkg --print-architecture).deb
[[ -f "$deb" ]] || { echo "no $deb; made: $(ls "$work")"; exit 1; }

failures=0
fail() { echo "$deb: $*"; failures=$((failures + 1)); }

[[ "$(dpkg-deb -f "$deb" Package)" == velmora ]] || fail "package name is not velmora"
depends=$(dpkg-deb -f "$deb" Depends)
for dev in libsdl2-dev libsdl2-mixer-dev libavformat-dev libavcodec-dev libswscale-dev \
           libswresample-dev libavutil-dev libssl-dev libpng-dev libjpeg62-turbo-dev zlib1g-dev \
           liblzo2-dev libgl-dev libopengl-dev; do
  [[ ", $depends," == *", $dev"[,\ ]* ]] || fail "Depends lacks $dev: $depends"
done

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' | grep -v '/$' | sort >"$work/files"
# The headers it must hold: faces and floor-facing ones, directly in runtime/<folder>/, not *_internal.h.
(cd "$source/runtime" && shopt -s nullglob && printf '%s\n' */*.h */*.hpp) | grep -v '_internal\.hp*$' \
  | sed 's|^|/usr/include/velmora/|' | sort >"$work/public"
grep '^/usr/include/' "$work/files" >"$work/headers" || true
if ! diff "$work/public" "$work/headers" >"$work/header.diff"; then
  fail "installed headers differ from the public headers (< missing, > extra):"
  cat "$work/header.diff"
fi
grep -E '_internal\.h|/internal/' "$work/files" && fail "holds internal files"

expected=(/usr/bin/vlmpack /usr/bin/vlmc /usr/bin/velmora /usr/share/velmora/toolchain.txt /usr/bin/vlmdap /usr/bin/vlmls "$libdir/pkgconfig/velmora.pc"
          /usr/share/velmora/normals-162.txt)
if [[ -f "$build/editors/vscode/velmora-basic-$version.vsix" ]]; then
  expected+=("/usr/share/velmora/editors/velmora-basic-$version.vsix")
fi
for name in VelmoraConfig VelmoraConfigVersion VelmoraTargets VelmoraProgram VelmoraBasic; do
  expected+=("$libdir/cmake/Velmora/$name.cmake")
done
for dir in "$source"/runtime/*/; do
  folder=$(basename "$dir")
  if compgen -G "$dir*.cpp" >/dev/null || compgen -G "$dir*/*.cpp" >/dev/null; then
    expected+=("$libdir/libvelmora_$folder.a")
  fi
done
for path in "${expected[@]}"; do
  grep -qxF "$path" "$work/files" || fail "lacks $path"
done

# The Depends line names real packages that apt can satisfy (here, from those installed).
if command -v apt-get >/dev/null; then
  apt-get -s install "$deb" >"$work/apt.log" 2>&1 && grep -q '^Inst velmora ' "$work/apt.log" \
    || { fail "apt-get cannot install it:"; cat "$work/apt.log"; }
fi

((failures == 0)) || exit 1
echo "$(basename "$deb"): Depends: $depends"
