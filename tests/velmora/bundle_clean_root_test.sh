#!/usr/bin/env bash
# A new project's bundle runs on a clean Debian 12: makes a project with `velmora new`, bundles it
# with `velmora bundle` and runs the tarball in a clean root (clean_root.sh), where its screenshot
# must have the size the project's settings give.
#   tests/velmora/bundle_clean_root_test.sh VELMORA_BIN WORKDIR
# Exit 0: it ran; 1: a fault; 77: skipped (clean_root.sh's reasons).
set -euo pipefail

(($# == 2)) || { echo "usage: $0 VELMORA_BIN WORKDIR" >&2; exit 1; }
velmora=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)

# The reasons to skip that cost nothing are looked at before the project is built.
[[ $(id -u) -eq 0 ]] || { echo "SKIP: needs root (debootstrap and chroot)"; exit 77; }
deboot=$(PATH=$PATH:/usr/sbin:/sbin type -P debootstrap || true)
[[ -n $deboot && -f $deboot && -x $deboot ]] ||
  { echo "SKIP: debootstrap is not installed (scripts/setup.sh installs it)"; exit 77; }

mkdir -p "$2"
work=$(mktemp -d "$(realpath "$2")/clean-root.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
timeout 120 "$velmora" new cleanroot
timeout 900 "$velmora" bundle cleanroot >bundle.out
cat bundle.out
tarball=$(grep '\.tar\.gz$' bundle.out | tail -n 1 || true)
[[ -n $tarball && -f $tarball ]] || { echo "FAIL: velmora bundle named no tarball that exists" >&2; exit 1; }

size=$(python3 -c '
import json, sys
s = json.load(open(sys.argv[1])).get("settings", {})
print(s["ScreenWidth"], s["ScreenHeight"]) if "ScreenWidth" in s and "ScreenHeight" in s else print()
' cleanroot/velmora.json)
status=0
# shellcheck disable=SC2086  # the size is two words or none
"$here/clean_root.sh" "$tarball" $size || status=$?
exit "$status"
