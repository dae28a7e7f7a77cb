#!/usr/bin/env bash
# on_display.sh COMMAND [ARGS...]
#
# Runs a command on an X display of its own: a virtual X server (Xvfb) with a
# window manager (openbox), DISPLAY set to it and the toolkit on X
# (QT_QPA_PLATFORM=xcb). Both are stopped when the command ends, and the
# command is stopped when it runs longer than VELORN_X_LIMIT seconds (300;
# the CTest entries set it to fit what they do).
#
# VELORN_XVFB_DISPLAYS="11-19" keeps to those display numbers (the first one
# free is taken); without it the X server picks a free number itself.
# Exits with the command's status; 1 when the display could not be set up.
set -uo pipefail

[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
for tool in Xvfb openbox xprop; do
  command -v "$tool" >/dev/null || { echo "on_display: $tool is missing (scripts/setup-deps.sh installs it)" >&2; exit 1; }
done

limit=${VELORN_X_LIMIT:-300}
work=$(mktemp -d "${TMPDIR:-/tmp}/velorn-x.XXXXXX")
xpid=""; wmpid=""

stop() {
  [ -n "$wmpid" ] && kill "$wmpid" 2>/dev/null && wait "$wmpid" 2>/dev/null
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null && wait "$xpid" 2>/dev/null
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT TERM

# Starts Xvfb (on display $1, or on a free one when $1 is empty) and sets
# display once it accepts clients; false when it ends first or takes over 20 s.
start_x() {
  local fifo="$work/displayfd" number=""
  rm -f "$fifo"; mkfifo "$fifo"
  Xvfb ${1:+":$1"} -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$fifo" >"$work/xvfb.log" 2>&1 &
  xpid=$!
  # The server writes its number when it is ready; an end before that
  # closes the pipe with nothing written.
  read -r -t 20 number <"$fifo" || true
  if [ -z "$number" ]; then
    kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null; xpid=""
    return 1
  fi
  display=":$number"
}

display=""
if [ -n "${VELORN_XVFB_DISPLAYS:-}" ]; then
  low=${VELORN_XVFB_DISPLAYS%-*}; high=${VELORN_XVFB_DISPLAYS#*-}
  for n in $(seq "$low" "$high"); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    start_x "$n" && break
  done
else
  start_x ""
fi
if [ -z "$display" ]; then
  echo "on_display: no X server could be started${VELORN_XVFB_DISPLAYS:+ on displays $VELORN_XVFB_DISPLAYS}" >&2
  cat "$work/xvfb.log" >&2 2>/dev/null
  exit 1
fi
export DISPLAY=$display QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

# The window manager, with the configuration it ships and no session.
XDG_CONFIG_HOME="$work/config" openbox --sm-disable >"$work/openbox.log" 2>&1 &
wmpid=$!
# It is ready once it has claimed the screen (bounded: 10 s).
ready=""
for _ in $(seq 200); do
  if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then ready=yes; break; fi
  kill -0 "$wmpid" 2>/dev/null || break
  sleep 0.05
done
if [ -z "$ready" ]; then
  echo "on_display: the window manager did not start on $DISPLAY" >&2
  cat "$work/openbox.log" >&2
  exit 1
fi
echo "on_display: $* on $DISPLAY (Xvfb 1280x1024, openbox)" >&2

timeout --kill-after=10 "$limit" "$@"
status=$?
[ "$status" -eq 124 ] && echo "on_display: stopped after $limit s" >&2
exit "$status"
