#!/usr/bin/env bash
# Sets up, builds and starts Velorn in a working folder of its own (./run).
# Extra arguments go to the program ("/debug", "/ForceRun", ...).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh"
"$root/scripts/build.sh" "$root/build/normal" >/dev/null
mkdir -p "$root/run"
cd "$root/run"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display; Velorn runs headless (message boxes go to standard error)." >&2
fi
echo "run: working folder $root/run; end with Ctrl+C." >&2
exec "$root/build/normal/app/velorn" "$@"
