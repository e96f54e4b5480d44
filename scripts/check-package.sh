#!/bin/sh
# Builds the Debian package from a finished build and checks it as a packager would: lintian
# (fails on an error; warnings are shown), and the desktop entry and AppStream metainfo the
# package ships. Usage: scripts/check-package.sh [build-dir]   (default: build)
set -eu
cd "$(dirname "$0")/.."
build=${1:-${QUORVEL_BUILD_DIR:-build}}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/*.deb)
echo "Checking $(basename "$deb")"
lintian --fail-on error --display-info "$deb"
dpkg-deb -x "$deb" "$out/root"
desktop-file-validate "$out"/root/usr/share/applications/*.desktop
appstreamcli validate --no-net "$out"/root/usr/share/metainfo/*.metainfo.xml
echo "Package checks passed"
