#!/usr/bin/env bash
# Writes seeds for fuzz_music_open into a folder: small files of every form
# the music check takes (made with ffmpeg and sox, written byte by byte where
# no tool writes the form), and the four WAVE files the check once let
# through while the player read them otherwise (each made PlayMusic die of
# SIGFPE). The last byte of a seed picks looping and memory or disk in the
# target, so each seed comes in two endings.
#   tests/fuzz/make_music_seeds.sh SEED-FOLDER
set -euo pipefail
seeds=$1
mkdir -p "$seeds"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tone="sine=frequency=1000:sample_rate=22050:duration=0.05"
ff() { ffmpeg -hide_banner -loglevel error -y -f lavfi -i "$tone" "$@"; }
ff -ac 1 "$work/a.flac"
ff -c:a libvorbis "$work/a.ogg"
ff -ar 48000 -c:a libopus "$work/a.opus"
ff -c:a libmp3lame -metadata title=tune "$work/a.mp3"
ff "$work/a.aiff"
sox -n -r 11025 -b 8 -c 1 "$work/a.wav" synth 0.02 sine 440
sox -n -r 44100 -b 24 -c 2 "$work/b.wav" synth 0.01 sine 1000

python3 - "$work" <<'EOF'
import struct, sys
work = sys.argv[1]
def chunk(name, body): return name + struct.pack('<I', len(body)) + body
def fmt(ch=2, rate=44100, bits=16):
    align = ch * bits // 8
    return chunk(b'fmt ', struct.pack('<HHIIHH', 1, ch, rate, rate * align, align, bits))
def data(n=400): return chunk(b'data', bytes(n))
def riff(body, form=b'WAVE', magic=b'RIFF'): return magic + struct.pack('<I', 4 + len(body)) + form + body
def odd(inner):
    # the player does not pad an odd chunk: its walk goes to byte 321, inside
    # a chunk the padded walk skips, where inner lies
    b = chunk(b'JUNK', b'abcde') + b'x' + b'yz\0\x20' + struct.pack('<I', 1) + b'q\0'
    skipped = bytearray(400)
    skipped[321 - 44:321 - 44 + len(inner)] = inner
    return riff(b + chunk(b'skip', bytes(skipped)) + fmt() + data())
files = {
    'wave-magic-at-the-start.wav': riff(fmt(0) + data(), magic=b'WAVE'),
    'riff-wavx.wav': riff(fmt(0) + data(), form=b'WAVX'),
    'second-format-after-data.wav': riff(fmt() + data() + fmt(0)),
    'odd-chunk-not-padded.wav': odd(fmt(0) + data(8)),
    'wave-list-sampler.wav': riff(fmt() + data() + chunk(b'LIST', b'INFOINAM\x05\0\0\0tune\0')
                                  + chunk(b'smpl', bytes(28) + struct.pack('<II', 1, 0)
                                          + struct.pack('<6I', 0, 0, 0, 99, 0, 0))),
}
trk = bytes([0, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x40, 0, 0xFF, 0x2F, 0])
files['a.mid'] = b'MThd' + struct.pack('>IHHH', 6, 1, 2, 96) + 2 * (b'MTrk' + struct.pack('>I', len(trk)) + trk)
# a ProTracker module: one looped square-wave sample, a pattern of four rows
mod = bytearray(20) + bytearray(22) + bytes([0, 0x20, 0, 0x40, 0, 0, 0, 0x20]) + bytearray(30 * 30)
mod += bytes([1, 0x7F]) + bytearray(128) + b'M.K.'
pattern = bytearray(1024)
pattern[0:4] = bytes([0x01, 0xAC, 0x10, 0x00])
mod += pattern + bytes([100] * 16 + [156] * 16) * 2
files['a.mod'] = bytes(mod)
for name, body in files.items():
    open(f'{work}/{name}', 'wb').write(body)
EOF

for f in "$work"/*; do
  name=$(basename "$f")
  { cat "$f"; printf '\000'; } >"$seeds/memory-$name"
  { cat "$f"; printf '\003'; } >"$seeds/disk-loop-$name"
done
