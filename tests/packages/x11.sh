# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the package tests: a private virtual display, and the keys a person presses to
# choose another language in the program's start-up warning.

# Starts Xvfb on the first free display from :90; sets DISPLAY and xvfb_pid. LOG gets its output.
start_display() { # LOG
  local n
  for n in $(seq 90 130); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then break; fi
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$1" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  [ -e "/tmp/.X11-unix/X$n" ] || { echo "Xvfb did not start on :$n ($(cat "$1"))" >&2; return 1; }
  export DISPLAY=":$n"
}

# Waits until a window whose name is NAME shows; prints its id. Fails after SECONDS.
wait_for_window() { # NAME SECONDS
  local id="" i
  for i in $(seq $(($2 * 2))); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) && [ -n "$id" ] && break
    sleep 0.5
  done
  [ -n "$id" ] && echo "$id"
}

# In the start-up warning (WINDOW), moves from its button to its language list and picks the next
# language down, as the keyboard does: Tab to the text, Tab to the list, Down. Without a window
# manager nothing hands the window the focus: a click near its top edge does, as a person's would
# (it lands on the title or the first line of text, which do nothing).
pick_next_language_in_warning() { # WINDOW
  xdotool windowfocus "$1" 2>/dev/null || true
  xdotool mousemove --window "$1" 200 8 click 1
  sleep 1
  xdotool key --delay 300 Tab Tab Down
}
