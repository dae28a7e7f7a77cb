#!/usr/bin/env bash
# build.sh DIR [SANITIZERS [TARGET...]]: configures and builds into DIR;
# with targets, only those and what they need.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; san=${2:-}
shift $(($# < 2 ? $# : 2))
bench=ON; [ -n "$san" ] && bench=OFF
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELORN_SANITIZE="$san" -DVELORN_BENCH=$bench >/dev/null
cmake --build "$dir" -j"$(nproc)" ${1:+--target "$@"}
