#!/bin/sh
# Installs the Debian packages Printer Kivo needs. Idempotent: when everything
# is present it only asks dpkg and returns.
#
#   tools/setup-debian.sh            what building, running and testing need
#   tools/setup-debian.sh GROUP...   that, plus the named extra groups
#
# Extra groups: lint, fuzz, bench.
set -eu

# Building, running, the test suite and the virtual printer; CUPS with its
# filters, ppdc and libcups for the printer's CUPS driver and its tests.
BASE="
cmake g++ make pkg-config
qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-qpa-plugins libgl-dev
xvfb xauth
fonts-dejavu-core fonts-wqy-zenhei
libzint-dev libqrencode-dev libpng-dev zlib1g-dev
qrencode zbar-tools
desktop-file-utils
cups cups-client cups-filters cups-ppdc libcups2-dev ghostscript poppler-utils
"
LINT="clang-tidy clang-format cppcheck"
FUZZ="clang libclang-rt-14-dev"
BENCH="imagemagick"

PACKAGES="$BASE"
for group in "$@"; do
    case "$group" in
        lint) PACKAGES="$PACKAGES $LINT" ;;
        fuzz) PACKAGES="$PACKAGES $FUZZ" ;;
        bench) PACKAGES="$PACKAGES $BENCH" ;;
        *) echo "setup-debian.sh: unknown group '$group'" >&2; exit 2 ;;
    esac
done

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
