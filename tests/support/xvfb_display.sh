# Sourced by the virtual-display test scripts: checks the tools, starts Xvfb on a free display
# and exports DISPLAY (the server is stopped when the script exits); ends a program with Escape.
#
#   start_virtual_display FIRST_DISPLAY_NUMBER LOG
#
# Exits the script with code 77 when Xvfb, xdotool or ImageMagick's import is missing, or no
# display among the 60 from FIRST_DISPLAY_NUMBER is free.
start_virtual_display() {
  local first=$1 log=$2 tool n
  for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool" >"$log"; exit 77; }
  done
  # A free display number: no lock file and no socket, and then a server that is this script's
  # own. Another script starting at the same moment may take the same number: the server that
  # loses the lock exits, and its script tries the next number.
  for n in $(seq "$first" $((first + 59))); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    # -noreset: by default the server starts over each time its last client leaves, and a
    # client that connects during that gets no display. Until the program's window opens, each
    # xdotool call here is the only client, so under load about one call in a hundred failed.
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >>"$log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      kill -0 "$xvfb_pid" 2>/dev/null || break
      DISPLAY=":$n" xdotool getmouselocation >/dev/null 2>&1 && break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null && [[ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" == "$xvfb_pid" ]]; then
      trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null' EXIT
      export DISPLAY=":$n"
      return 0
    fi
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  done
  echo "no free display" >"$log"
  exit 77
}

# Ends the program PID through its window: Escape is held for a while, as a hand would (the
# program reads the key state once a frame), then STATUS_FILE gets "ended <exit code>", or
# "still running" when it had to be killed.
#
#   end_with_escape WINDOW PID STATUS_FILE LOG
end_with_escape() {
  local window=$1 pid=$2 status=$3 log=$4
  xdotool windowfocus --sync "$window" >>"$log" 2>&1
  xdotool keydown Escape
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  xdotool keyup Escape
  if kill -0 "$pid" 2>/dev/null; then
    echo "still running" >"$status"
    kill "$pid"
  else
    wait "$pid"
    echo "ended $?" >"$status"
  fi
}
