#!/usr/bin/env bash
# Builds instrumented static copies of libpng and libjpeg(-turbo) from the Debian sources of the
# versions installed here, with clang, the address sanitizer and libFuzzer's coverage hooks, so
# the codec fuzz targets can steer inside the libraries and catch their memory errors.
#   tests/fuzz/build_codec_libs.sh [prefix]      (default: build-fuzz-libs/ in the repository)
# Needs clang, cmake and network access to the Debian archive (for `apt-get source`). Touches
# no system state: the deb-src list, the package lists and the downloads live under the prefix.
set -euo pipefail
cd "$(dirname "$0")/../.."
PREFIX=$(realpath -m "${1:-build-fuzz-libs}")
WORK=$PREFIX/src
mkdir -p "$WORK/apt/lists/partial" "$WORK/apt/cache/archives/partial"

# The package lists of the installed release, sources only, in a private apt state.
. /etc/os-release
cat > "$WORK/apt/sources.list" <<LIST
deb-src http://deb.debian.org/debian $VERSION_CODENAME main
deb-src http://deb.debian.org/debian $VERSION_CODENAME-updates main
deb-src http://deb.debian.org/debian-security $VERSION_CODENAME-security main
LIST
APT=(apt-get -q -o "Dir::Etc::SourceList=$WORK/apt/sources.list" -o "Dir::Etc::SourceParts=-"
     -o "Dir::State::Lists=$WORK/apt/lists" -o "Dir::Cache=$WORK/apt/cache" -o "Debug::NoLocking=1")
"${APT[@]}" update

# The source versions of the development packages installed here, so the headers match.
version() { dpkg-query -W -f='${source:Version}' "$1"; }
PNG_SOURCE=libpng1.6=$(version libpng-dev)
JPEG_SOURCE=libjpeg-turbo=$(version libjpeg62-turbo-dev)
cd "$WORK"
rm -rf libpng1.6-* libjpeg-turbo-*
# A superseded Debian revision leaves the archive: then the newest one the archive can serve is
# taken (same upstream version, so the same headers, with later fixes).
CACHE=(apt-cache "${APT[@]:2}")
fetch() {  # fetch package=version
  local package=${1%%=*} candidate
  for candidate in "${1#*=}" $("${CACHE[@]}" showsrc "$package" | sed -n 's/^Version: //p' | sort -rV); do
    "${APT[@]}" source --download-only "$package=$candidate" && return 0
    rm -f "${package}"_*
  done
  return 1
}
fetch "$PNG_SOURCE"
fetch "$JPEG_SOURCE"
for dsc in *.dsc; do dpkg-source --no-check -x "$dsc" >/dev/null; done

FLAGS="-g -O1 -fno-omit-frame-pointer -fsanitize=address,fuzzer-no-link"
common=(-DCMAKE_C_COMPILER=clang -DCMAKE_C_FLAGS="$FLAGS" -DCMAKE_BUILD_TYPE=None
        -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_INSTALL_LIBDIR="$PREFIX/lib" -DCMAKE_POSITION_INDEPENDENT_CODE=ON)
cmake -S libpng1.6-*/ -B png-build "${common[@]}" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
  -DPNG_EXECUTABLES=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF >/dev/null
cmake --build png-build -j"$(nproc)" >/dev/null
cmake --install png-build >/dev/null
# No SIMD: the assembly routines would not be instrumented.
cmake -S libjpeg-turbo-*/ -B jpeg-build "${common[@]}" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >/dev/null
cmake --build jpeg-build -j"$(nproc)" >/dev/null
cmake --install jpeg-build >/dev/null
echo "Instrumented libpng and libjpeg installed under $PREFIX"
