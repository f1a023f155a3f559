#!/usr/bin/env bash
# Runs the viewer and the chat examples on a virtual X display and drives them
# like a user, with screenshots of their windows; Escape ends each.
#
#   xvfb_examples.sh EXAMPLES_FOLDER OUTPUT_FOLDER TMPDIR CHAT_PORT
#
# The viewer (gem.xqo, camera fixed at 20 degrees): viewer_over.png with the
# pointer over the gem's middle (320, 240 in the window), viewer_off.png with
# it at (20, 20). The chat (hosting on CHAT_PORT as "Eve"): chat.png after
# the left cursor key was held for about a second and "hi there" typed and
# sent with Return. OUTPUT_FOLDER/status.txt gets "viewer ended <code>" and
# "chat ended <code>" (or "... still running"); session.log the tools' output.
# Exit code 77 when Xvfb, xdotool or ImageMagick's import is missing.
set -u
examples=$1
out=$2
export TMPDIR=$3
chat_port=$4
log=$out/session.log
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool" >"$log"; exit 77; }
done

display=""
for n in $(seq 200 259); do
  if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then display=":$n"; break; fi
done
[[ -n "$display" ]] || { echo "no free display" >"$log"; exit 77; }

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >>"$log" 2>&1 &
xvfb=$!
cleanup() { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; }
trap cleanup EXIT
export DISPLAY=$display SDL_AUDIODRIVER=dummy
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

shoot() {  # shoot NAME: the window's contents after the frames have caught up
  sleep 1.5
  import -window "$window" "$out/$1.png" >>"$log" 2>&1
}
finish() {  # finish NAME PID: hold Escape until the program ends
  xdotool windowfocus --sync "$window" >>"$log" 2>&1
  xdotool keydown Escape
  for _ in $(seq 300); do kill -0 "$2" 2>/dev/null || break; sleep 0.1; done
  xdotool keyup Escape
  if kill -0 "$2" 2>/dev/null; then
    echo "$1 still running" >>"$out/status.txt"
    kill "$2"
  else
    wait "$2"
    echo "$1 ended $?" >>"$out/status.txt"
  fi
}

(cd "$examples/viewer" && exec ./viewer gem.xqo angle 20 >"$out/viewer_out.txt" 2>&1) &
pid=$!
window=$(timeout 30 xdotool search --sync --name '^Velmora viewer$' | head -n 1)
echo "viewer window $window" >>"$log"
sleep 1
xdotool mousemove --window "$window" 320 240
shoot viewer_over
xdotool mousemove --window "$window" 20 20
shoot viewer_off
finish viewer $pid

(cd "$examples/chat" && exec ./chat name Eve port "$chat_port" >"$out/chat_out.txt" 2>&1) &
pid=$!
window=$(timeout 30 xdotool search --sync --name '^Velmora chat$' | head -n 1)
echo "chat window $window" >>"$log"
sleep 1
xdotool windowfocus --sync "$window" >>"$log" 2>&1
xdotool keydown Left
sleep 1
xdotool keyup Left
xdotool type --delay 80 "hi there"
xdotool key Return
shoot chat
finish chat $pid
exit 0
