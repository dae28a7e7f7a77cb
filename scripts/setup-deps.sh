#!/usr/bin/env bash
# Installs the Debian packages Velorn needs to build, run and test.
# Idempotent; quiet when everything is present.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev sqlite3
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libsystemd-dev dbus-daemon
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libjpeg62-turbo-dev fonts-dejavu-core
  xvfb openbox xdotool x11-utils trayer strace
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
