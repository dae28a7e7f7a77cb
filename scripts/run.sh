#!/usr/bin/env bash
# Sets up, builds and starts Velorn in a working folder of its own (./run).
# Without a real port configured (VELORN_COM1 .. VELORN_COM8 unset), the
# simulated relay board and console are started on a pseudo-terminal as
# COM1; their traffic goes to run/devsim.log. velorn.ico, the notification
# icon's picture, is put in the working folder. Extra arguments go to the
# program ("/debug", "/ForceRun", ...).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh"
# The program and the simulator, and what they need: not the tests.
"$root/scripts/build.sh" "$root/build/normal" "" velorn velorn-devsim >/dev/null
mkdir -p "$root/run"
cd "$root/run"
# The notification icon's picture is read from the working folder.
cp "$root/build/normal/platform/images/velorn.ico" velorn.ico

real=""
for n in 1 2 3 4 5 6 7 8; do
  v="VELORN_COM$n"
  [ -n "${!v:-}" ] && real=yes
done
# The simulator of a run that is still going (its pid in run/devsim.pid):
# its devices and its log belong to the program started then, which a
# second start here only brings forward.
running_sim() {
  local pid
  pid=$(cat "$root/run/devsim.pid" 2>/dev/null) || return 1
  [ -n "$pid" ] && grep -qa velorn-devsim "/proc/$pid/cmdline" 2>/dev/null
}
if [ -z "$real" ] && running_sim; then
  echo "run: the simulated devices serve the program already running here; run/devsim.log is left as it is" >&2
elif [ -z "$real" ]; then
  log="$root/run/devsim.log"
  : > "$log"
  # The simulator ends when its standard input closes, that is when Velorn
  # (which inherits descriptor 3) ends. A digit written there sets the
  # console's state (see README).
  exec 3> >(echo "$BASHPID" > "$root/run/devsim.pid"; exec "$root/build/normal/tools/velorn-devsim" > "$log")
  for _ in $(seq 100); do
    [ -s "$log" ] && break
    sleep 0.05
  done
  pts=$(head -n 1 "$log")
  [ -n "$pts" ] || { echo "run: the simulated devices did not start" >&2; exit 1; }
  export VELORN_COM1="$pts"
  echo "run: simulated relay board and console on $pts (COM1); traffic in $log" >&2
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display; Velorn runs headless (message boxes go to standard error)." >&2
fi
echo "run: working folder $root/run; end with Ctrl+C." >&2
exec "$root/build/normal/app/velorn" "$@"
