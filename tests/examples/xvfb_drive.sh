#!/usr/bin/env bash
# Runs an example program on a virtual X display and drives it like a user
# with xdotool, taking screenshots of its window on the way; Escape ends it.
#
#   xvfb_drive.sh PROGRAM TITLE OUTPUT_FOLDER TMPDIR STEP...
#
# Steps, in order:
#   click X Y      the left button pressed at window point (X, Y), held a
#                  moment (the program reads the buttons once a frame)
#   hold KEY S     the key held down for S seconds
#   shoot NAME     the window's contents into OUTPUT_FOLDER/NAME.png
# Writes OUTPUT_FOLDER/status.txt ("ended <exit code>" or "still running")
# and OUTPUT_FOLDER/session.log. Exit code 77 when Xvfb, xdotool or
# ImageMagick's import is missing.
set -u
program=$1
title=$2
out=$3
export TMPDIR=$4
shift 4
log=$out/session.log
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool" >"$log"; exit 77; }
done

# A free display number: no lock file and no socket.
display=""
for n in $(seq 200 259); do
  if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then display=":$n"; break; fi
done
[[ -n "$display" ]] || { echo "no free display" >"$log"; exit 77; }

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >>"$log" 2>&1 &
xvfb=$!
cleanup() { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; }
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

(cd "$(dirname "$program")" && exec "$program" >"$out/stdout.txt" 2>"$out/stderr.txt") &
pid=$!
window=$(timeout 30 xdotool search --sync --name "^$title\$" | head -n 1)
echo "window $window" >>"$log"
sleep 2
xdotool windowfocus --sync "$window" >>"$log" 2>&1

while (($# > 0)); do
  case $1 in
    click)
      xdotool mousemove --window "$window" "$2" "$3" >>"$log" 2>&1
      sleep 0.3
      xdotool mousedown 1
      sleep 0.3
      xdotool mouseup 1
      sleep 0.3
      shift 3 ;;
    hold)
      xdotool keydown "$2"
      sleep "$3"
      xdotool keyup "$2"
      shift 3 ;;
    shoot)
      sleep 1
      import -window "$window" "$out/$2.png" >>"$log" 2>&1
      shift 2 ;;
    *)
      echo "unknown step $1" >>"$log"
      shift ;;
  esac
done

xdotool keydown Escape
for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
xdotool keyup Escape
if kill -0 "$pid" 2>/dev/null; then
  echo "still running" >"$out/status.txt"
  kill "$pid"
else
  wait "$pid"
  echo "ended $?" >"$out/status.txt"
fi
exit 0
