#!/bin/sh
# Installs the Debian packages Quorvel needs that are not yet installed.
# Usage: scripts/install-deps.sh [build|test|fuzz|bench]   (each level includes the ones before)
set -eu
level=${1:-build}

pkgs="cmake ninja-build g++ pkg-config qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins
      libhunspell-dev hunspell-en-us libgmime-3.0-dev libssl-dev qtkeychain-qt6-dev gstreamer1.0-plugins-base
      gstreamer1.0-plugins-good xvfb xauth xdg-utils openssl"
case "$level" in
  test|fuzz|bench) pkgs="$pkgs python3 python3-aiosmtpd python3-html5lib python3-dkim dovecot-pop3d postfix poppler-utils imagemagick pandoc
                    desktop-file-utils appstream dpkg-dev libreoffice-calc-nogui lintian" ;;
esac
case "$level" in
  fuzz|bench) pkgs="$pkgs clang libclang-rt-dev" ;;
esac
case "$level" in
  bench) pkgs="$pkgs msmtp mpop curl stunnel4" ;;
esac

missing=""
for p in $pkgs; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing:$missing"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
# postfix is wanted for smtp-sink and the private instances the tests start from their own
# folders: the system's own stays unconfigured and is never started.
echo "postfix postfix/main_mailer_type select No configuration" | $SUDO debconf-set-selections
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
