#!/usr/bin/env bash
# build.sh DIR [SANITIZERS]: configures and builds into DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; san=${2:-}
bench=ON; [ -n "$san" ] && bench=OFF
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELORN_SANITIZE="$san" -DVELORN_BENCH=$bench >/dev/null
cmake --build "$dir" -j"$(nproc)"
