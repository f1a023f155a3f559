#!/usr/bin/env bash
# Runs a bundle made by `velmora bundle` on a minimal, clean Debian 12: a debootstrap root with
# only the Debian packages the bundle's README names, no -dev package, nothing of this machine's
# /usr/local or build tree. The program runs headless from / under `env -i` as an unprivileged
# user, shows three frames and writes a screenshot, which is then checked here.
#   tests/velmora/clean_root.sh TARBALL [WIDTH HEIGHT]
# Exit 0: it ran; 1: a fault; 77: skipped (not root, no debootstrap, the base root cannot be
# made). The roots are kept under /var/cache/velmora-test/ (VELMORA_TEST_CACHE): "base" is the
# minbase root, "root-<sha256 of the sorted package list>" a copy of it with those packages.
# Each is made under a temporary name and renamed when complete; a lock keeps runs apart.
# The mirror is the one this machine's apt uses for bookworm (VELMORA_TEST_MIRROR overrides it).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

(($# == 1 || $# == 3)) || fail "usage: $0 TARBALL [WIDTH HEIGHT]"
[[ -f $1 ]] || fail "no bundle $1"
tarball=$(realpath "$1")
want_w=${2:-}
want_h=${3:-}
if [[ -n $want_w ]]; then
  [[ $want_w =~ ^[1-9][0-9]*$ && $want_h =~ ^[1-9][0-9]*$ ]] || fail "bad screenshot size $want_w $want_h"
fi

[[ $(id -u) -eq 0 ]] || skip "needs root (debootstrap and chroot)"
PATH=$PATH:/usr/sbin:/sbin
deboot=$(type -P debootstrap || true)
[[ -n $deboot && -f $deboot && -x $deboot ]] || skip "debootstrap is not installed (scripts/setup.sh installs it)"

# ---------------------------------------------------------------- the bundle's package list

# Read first: a bundle with a bad README fails even where no root can be made.
listing=$(tar -tzf "$tarball") || fail "$tarball is not a readable tar.gz"
top=$(printf '%s\n' "$listing" | sed 's|^\./||; s|/.*||' | sort -u)
[[ $(printf '%s\n' "$top" | wc -l) -eq 1 ]] || fail "the bundle holds more than one top folder: ${top//$'\n'/ }"
[[ $top =~ ^([A-Za-z][A-Za-z0-9_-]*)-([^-/]+)-linux-x86_64$ ]] ||
  fail "the bundle's folder '$top' is not NAME-VERSION-linux-x86_64"
name=${BASH_REMATCH[1]}
readme=$(tar -xzOf "$tarball" "$top/README" 2>/dev/null) || fail "the bundle has no $top/README"
lines=$(printf '%s\n' "$readme" | grep -c '^Debian packages:' || true)
[[ $lines -eq 1 ]] || fail "the README holds $lines lines 'Debian packages: ...', not one"
read -r -a packages <<<"$(printf '%s\n' "$readme" | sed -n 's/^Debian packages://p')"
((${#packages[@]})) || fail "the README's 'Debian packages:' line names no package"
for pkg in "${packages[@]}"; do
  [[ $pkg =~ ^[a-z0-9][a-z0-9+.-]+(:[a-z0-9]+)?$ ]] || fail "'$pkg' in the README is not a package name"
  [[ ${pkg%%:*} != *-dev ]] || fail "the README names a development package: $pkg"
done
sorted=$(printf '%s\n' "${packages[@]}" | sort -u)
echo "bundle $top: packages ${sorted//$'\n'/ }"

# ---------------------------------------------------------------- the mirror

# The first URI of a deb source whose suites hold bookworm itself, one-line or deb822 form.
apt_mirror() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $f ]] || continue
    awk '$1 == "deb" { i = 2; if ($2 ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                       if ($(i + 1) == "bookworm") { print $i; exit } }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f $f ]] || continue
    awk 'function flush() { if (deb && suite && on && uri != "") print uri; deb = suite = 0; on = 1; uri = "" }
         BEGIN { on = 1 }
         /^[ \t]*#/ { next }
         /^[ \t]*$/ { flush(); next }
         tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
         tolower($1) == "uris:" { uri = $2 }
         tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == "bookworm") suite = 1 }
         tolower($1) == "enabled:" { on = tolower($2) != "no" }
         END { flush() }' "$f"
  done
}
mirror=${VELMORA_TEST_MIRROR:-$(apt_mirror | head -n 1)}
[[ -n $mirror ]] || skip "this machine's apt has no bookworm source to take the mirror from"

# ---------------------------------------------------------------- the roots

cache=${VELMORA_TEST_CACHE:-/var/cache/velmora-test}
mkdir -p "$cache"
exec 9>>"$cache/.lock"
flock -w 1400 9 || fail "another run held $cache/.lock for too long"

# Everything this run mounts or leaves half-made is undone on the way out.
mounted=()
partial=""
# shellcheck disable=SC2317  # run by the traps
cleanup() {
  local m
  for m in "${mounted[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
  if [[ -n $partial && -d $partial ]] && ! mountpoint -q "$partial/proc"; then
    rm -rf --one-file-system "$partial"
  fi
  [[ -z ${run:-} ]] || clear_user_files
}
# What the program's user left in the shared root (the unpacked bundle, its temporary files):
# the next run starts from the same root a fresh machine has.
# shellcheck disable=SC2317  # run by the traps too
clear_user_files() {
  find "$root/tmp" "$root/var/tmp" -mindepth 1 -maxdepth 1 -user 65534 -exec rm -rf --one-file-system {} +
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
mount_proc() {
  mountpoint -q "$1/proc" || { mount -t proc proc "$1/proc"; mounted+=("$1/proc"); }
}
unmount_proc() {
  umount "$1/proc"
  local kept=() m
  for m in "${mounted[@]}"; do [[ $m == "$1/proc" ]] || kept+=("$m"); done
  mounted=("${kept[@]}")
}

# Roots a killed run left half-made (none is in use: the lock is held).
for stale in "$cache"/*.partial.*; do
  [[ -d $stale ]] || continue
  mountpoint -q "$stale/proc" && umount -l "$stale/proc"
  rm -rf --one-file-system "$stale"
done

base=$cache/base
if [[ ! -x $base/bin/sh ]]; then
  echo "making the base root from $mirror (minutes; kept in $base)"
  partial=$(mktemp -d "$cache/base.partial.XXXXXX")
  chmod 755 "$partial"  # the root's /, which every user of the root reads
  log=$cache/debootstrap.log
  if ! timeout 1200 "$deboot" --variant=minbase bookworm "$partial" "$mirror" >"$log" 2>&1; then
    tail -n 5 "$log"
    skip "could not make the base root with debootstrap from $mirror (log: $log)"
  fi
  mv "$partial" "$base"
  partial=""
fi

key=$(printf '%s\n' "$sorted" | sha256sum | cut -c1-64)
root=$cache/root-$key
if [[ ! -x $root/bin/sh ]]; then
  echo "making the package root $root"
  partial=$(mktemp -d "$cache/root-$key.partial.XXXXXX")
  cp -a "$base/." "$partial/"
  chmod 755 "$partial"
  # The root's apt reads the same sources as this machine's, so it gets the same versions;
  # debootstrap's own one-line list would name the mirror's bookworm a second time.
  if compgen -G '/etc/apt/sources.list.d/*.sources' >/dev/null || compgen -G '/etc/apt/sources.list.d/*.list' >/dev/null ||
     [[ -s /etc/apt/sources.list ]]; then
    rm -f "$partial/etc/apt/sources.list"
    [[ ! -f /etc/apt/sources.list ]] || cp /etc/apt/sources.list "$partial/etc/apt/"
    for f in /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; do
      [[ ! -f $f ]] || cp "$f" "$partial/etc/apt/sources.list.d/"
    done
  fi
  for keyring in /usr/share/keyrings/debian-archive-keyring.gpg \
      $(sed -n 's/^Signed-By:[ \t]*\(\/[^ ]*\)/\1/p; s/.*signed-by=\(\/[^] ]*\).*/\1/p' \
        /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null); do
    [[ -f $keyring && ! -e $partial$keyring ]] || continue
    mkdir -p "$(dirname "$partial$keyring")"
    cp "$keyring" "$partial$keyring"
  done
  cp /etc/resolv.conf "$partial/etc/resolv.conf"
  mount_proc "$partial"
  if ! timeout 600 chroot "$partial" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
      apt-get update -q >"$cache/apt-update.log" 2>&1 ||
     grep -q '^[EW]: Failed to fetch' "$cache/apt-update.log"; then
    tail -n 5 "$cache/apt-update.log"
    skip "apt-get update in the root could not reach $mirror"
  fi
  # The packages' own dependencies come too, as on any machine that installs them.
  timeout 900 chroot "$partial" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${packages[@]}" ||
    fail "apt-get could not install the README's packages: ${packages[*]}"
  chroot "$partial" apt-get clean
  unmount_proc "$partial"
  mv "$partial" "$root"
  partial=""
fi

# ---------------------------------------------------------------- what the root holds

for pkg in "${packages[@]}"; do
  # shellcheck disable=SC2016  # dpkg-query's own format
  [[ $(chroot "$root" dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null) == "install ok installed" ]] ||
    fail "$pkg is not installed in $root"
done
# shellcheck disable=SC2016  # dpkg-query's own format
dev=$(chroot "$root" dpkg-query -W -f='${binary:Package}\n' | sed 's/:[a-z0-9]*$//' | grep -- '-dev$' || true)
[[ -z $dev ]] || fail "the root holds development packages: ${dev//$'\n'/ }"
local_files=$(find "$root/usr/local" -type f | head -n 5)
[[ -z $local_files ]] || fail "the root's /usr/local holds files: $local_files"
# The source tree and the build tree (VELMORA_BUILD_DIR, where the build is not inside the
# source tree) are no part of the root.
for host_path in "$repo" ${VELMORA_BUILD_DIR:+"$VELMORA_BUILD_DIR"}; do
  [[ ! -e $root$host_path ]] || fail "the root holds this machine's $host_path"
done

# ---------------------------------------------------------------- the run

clear_user_files
run=$(mktemp -d "$root/tmp/velmora-bundle.XXXXXX")
inside=${run#"$root"}
tar -xzf "$tarball" -C "$run"
[[ -x $run/$top/$name ]] || fail "the bundle's launcher $top/$name is missing or not executable"
[[ -f $run/$top/lib/$name ]] || fail "the bundle has no lib/$name"
# Unpacked by the user who runs it (nobody), as a user would; the screenshot goes outside the bundle.
mkdir "$run/out"
chown -R 65534:65534 "$run"
mount_proc "$root"
cd /
status=0
timeout 120 chroot --userspec=65534:65534 "$root" /usr/bin/env -i \
  "$inside/$top/$name" --frames 3 --screenshot "$inside/out/shot.png" </dev/null >"$run/run.log" 2>&1 9>&- ||
  status=$?
cat "$run/run.log"
if ((status != 0)); then
  echo "libraries of lib/$name the root lacks:"
  chroot "$root" ldd "$inside/$top/lib/$name" | grep 'not found' || echo "  (none)"
  fail "the program exited with $status in the clean root"
fi
unmount_proc "$root"
[[ -s $run/out/shot.png ]] || fail "the program wrote no screenshot"

# ---------------------------------------------------------------- the screenshot

python3 - "$run/out/shot.png" "$want_w" "$want_h" "$repo/tests/package" <<'EOF'
import sys
sys.path.insert(0, sys.argv[4])
from check_screenshot import read_png
path, want_w, want_h = sys.argv[1:4]
try:
    width, height, rows = read_png(path)
except Exception as e:
    sys.exit(f"FAIL: the screenshot is not a PNG this check reads: {e}")
if want_w and (width, height) != (int(want_w), int(want_h)):
    sys.exit(f"FAIL: the screenshot is {width}x{height}, expected {want_w}x{want_h}")
colours = {pixel for row in rows for pixel in row}
if len(colours) < 2:
    sys.exit(f"FAIL: the screenshot is one flat colour {colours.pop()}")
print(f"screenshot {width}x{height}, {len(colours)} colours")
EOF
echo "PASS: $top runs on a clean Debian 12 root with: ${sorted//$'\n'/ }"
exit 0
