#!/bin/sh
# Installs every Debian package that building, running and testing Printer Kivo
# needs. Idempotent: when everything is present it only asks dpkg and returns.
set -eu

PACKAGES="
cmake g++ make pkg-config
qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-qpa-plugins libgl-dev
xvfb xauth
fonts-dejavu-core
libzint-dev libqrencode-dev fonts-wqy-zenhei clang
qrencode zbar-tools
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

echo "Installing missing Debian packages:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo -n"
export DEBIAN_FRONTEND=noninteractive
# A fresh machine may have empty or stale package lists; refresh once if the
# first attempt cannot find a package.
if ! $SUDO apt-get install -y -q --no-install-recommends $missing; then
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends $missing
fi
