#!/usr/bin/env bash
# Installs the Debian package into a fresh Debian 12 chroot and builds and runs the first program
# there, with CMake and with pkg-config. Needs root, debootstrap and Debian's mirror, so it is run
# by hand rather than by CTest:
#   tests/package/deb_in_chroot.sh build/velmora_*.deb [CHROOT_DIR]
set -euo pipefail
deb=$(realpath "$1")
root=${2:-$(mktemp -d /var/tmp/velmora-chroot.XXXXXX)}
here=$(cd "$(dirname "$0")" && pwd)

[[ -x "$root/bin/bash" ]] || debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
trap 'umount "$root/proc" || true' EXIT
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/root/prog"
cp "$deb" "$root/tmp/velmora.deb"
cp "$here/first_program.cpp" "$here/CMakeLists.program.txt" "$here/check_screenshot.py" "$root/root/prog/"

chroot "$root" bash -euo pipefail -c '
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# dpkg alone stops at the missing dependencies; apt then brings them and configures the package.
dpkg -i /tmp/velmora.deb || apt-get -f install -y -q
dpkg -s velmora | grep -q "install ok installed"
apt-get install -y -q g++ cmake pkg-config python3 libegl-mesa0 libgl1-mesa-dri
cd /root/prog
rm -rf with-cmake with-pkg-config && mkdir with-cmake with-pkg-config
cp first_program.cpp with-cmake/ && cp CMakeLists.program.txt with-cmake/CMakeLists.txt
cmake -S with-cmake -B with-cmake/build -DCMAKE_BUILD_TYPE=Release
cmake --build with-cmake/build
g++ -std=c++20 -o with-pkg-config/first first_program.cpp $(pkg-config --cflags --libs velmora)
for dir in with-cmake/build with-pkg-config; do
  (cd "$dir" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ./first --frames 3 --screenshot shot.png)
  python3 check_screenshot.py "$dir/shot.png"
done
echo "the package installs on a fresh Debian 12 and builds and runs the first program both ways"
'
