#!/usr/bin/env bash
# Runs an example program on a virtual X display and drives it like a user
# with xdotool, taking screenshots of its window on the way; Escape ends it.
#
#   xvfb_drive.sh OUTPUT_FOLDER TMPDIR TITLE PROGRAM [ARG...] -- STEP...
#
# The program starts in its own folder with the ARGs; TITLE is its window's.
# Steps, in order:
#   click X Y      the left button pressed at window point (X, Y), held a
#                  moment (the program reads the buttons once a frame)
#   move X Y       the pointer moved to window point (X, Y)
#   hold KEY S     the key held down for S seconds
#   type TEXT      the text typed, a key every 80 ms
#   key KEY        the key pressed and released
#   shoot NAME     the window's contents into OUTPUT_FOLDER/NAME.png, after
#                  the frames have caught up
# Writes OUTPUT_FOLDER/status.txt ("ended <exit code>" or "still running")
# and OUTPUT_FOLDER/session.log. Exit code 77 when Xvfb, xdotool or
# ImageMagick's import is missing.
set -u
out=$1
export TMPDIR=$2
title=$3
program=$4
shift 4
args=()
while (($# > 0)) && [[ $1 != -- ]]; do args+=("$1"); shift; done
(($# > 0)) && shift
log=$out/session.log
# shellcheck source=../support/xvfb_display.sh
source "$(dirname "$0")/../support/xvfb_display.sh"
start_virtual_display 200 "$log"

(cd "$(dirname "$program")" && exec "$program" "${args[@]}" >"$out/stdout.txt" 2>"$out/stderr.txt") &
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
    move)
      xdotool mousemove --window "$window" "$2" "$3" >>"$log" 2>&1
      shift 3 ;;
    hold)
      xdotool keydown "$2"
      sleep "$3"
      xdotool keyup "$2"
      shift 3 ;;
    type)
      xdotool type --delay 80 "$2"
      shift 2 ;;
    key)
      xdotool key "$2"
      shift 2 ;;
    shoot)
      sleep 1.5
      import -window "$window" "$out/$2.png" >>"$log" 2>&1
      shift 2 ;;
    *)
      echo "unknown step $1" >>"$log"
      shift ;;
  esac
done

end_with_escape "$window" "$pid" "$out/status.txt" "$log"
exit 0
