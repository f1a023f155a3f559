#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing, without prompts. Runs as root or through sudo.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config
  libsdl2-dev libsdl2-mixer-dev
  libpng-dev libjpeg62-turbo-dev zlib1g-dev liblzo2-dev
  libgl-dev libopengl-dev libegl-dev libgl1-mesa-dri libegl-mesa0 libglx-mesa0
  libgtest-dev libbenchmark-dev
  xvfb xauth xdotool gdb ccache
  imagemagick python3 python3-pil
  ffmpeg sox libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libssl-dev openssl
  neovim debootstrap
)
# (neovim: its built-in LSP client drives the language server's tests, tests/vlmls.)
# (debootstrap: makes the clean Debian 12 root a bundle is run in, tests/velmora/clean_root.sh.)

missing=()
for pkg in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

# Node.js and npm run the debug adapter's protocol tests (tests/dap). A machine that has them
# from elsewhere keeps those; Debian's packages come only where the commands are missing.
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
