#!/usr/bin/env bash
# Runs Polyvane on a virtual X display and drives it like a user: the pointer
# is moved to fixed places (screenshots of the window after each), then
# Escape ends the program.
#
#   xvfb_session.sh PROGRAM_FOLDER OUTPUT_FOLDER TMPDIR
#
# Writes OUTPUT_FOLDER/view1.png (pointer at 100, 150), view2.png (+640
# pixels: one full turn later), view3.png (-320 pixels: half a turn back),
# OUTPUT_FOLDER/status.txt ("ended <exit code>" or "still running"), and
# OUTPUT_FOLDER/session.log. Exit code 77 when Xvfb, xdotool or ImageMagick's
# import is missing.
set -u
program_folder=$1
out=$2
export TMPDIR=$3
log=$out/session.log
# shellcheck source=../support/xvfb_display.sh
source "$(dirname "$0")/../support/xvfb_display.sh"
start_virtual_display 140 "$log"

(cd "$program_folder" && exec ./polyvane >"$out/stdout.txt" 2>"$out/stderr.txt") &
pv=$!
window=$(timeout 30 xdotool search --sync --name '^Polyvane$' | head -n 1)
echo "window $window" >>"$log"
sleep 2

shoot() {  # shoot NAME: the window's contents after the frames have caught up
  sleep 1.5
  import -window "$window" "$out/$1.png" >>"$log" 2>&1
}
# Clamp the pointer to the window's corner, then go to (100, 150).
xdotool mousemove_relative -- -3000 -3000
sleep 0.3
xdotool mousemove_relative -- 100 150
shoot view1
xdotool mousemove_relative -- 640 0
shoot view2
xdotool mousemove_relative -- -320 0
shoot view3

end_with_escape "$window" "$pv" "$out/status.txt" "$log"
exit 0
