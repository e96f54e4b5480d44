#!/bin/sh
# Installs what is missing, builds and starts Quorvel.
# Data lives in $QUORVEL_HOME (default: ~/Quorvel).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
scripts/build.sh
build=${QUORVEL_BUILD_DIR:-build}
export QUORVEL_HOME="${QUORVEL_HOME:-$HOME/Quorvel}"
mkdir -p "$QUORVEL_HOME"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting under xvfb-run."
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/quorvel" "$@"
fi
exec "$build/bin/quorvel" "$@"
