#!/usr/bin/env bash
# Writes a few small archives into a seed folder for fuzz_archive:
#   tests/fuzz/make_archive_seeds.sh VLMPACK SEED-FOLDER
set -euo pipefail
vlmpack=$1
seeds=$2
mkdir -p "$seeds"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'line one\r\nline two\n' >"$work/a.png"
printf '%0500d' 0 >"$work/zeros.txt"
head -c 300 /dev/urandom >"$work/noise.bin"
: >"$work/empty"
printf 'HOST' >"$seeds/one-entry"
"$vlmpack" add "$seeds/one-entry" "$work/a.png"
printf 'HOST' >"$seeds/four-entries"
"$vlmpack" add "$seeds/four-entries" "$work/a.png" "$work/zeros.txt" "$work/noise.bin" "$work/empty"
: >"$seeds/bare-archive"
"$vlmpack" add "$seeds/bare-archive" "LOGO.PNG=$work/zeros.txt"
