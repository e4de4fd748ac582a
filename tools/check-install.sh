#!/bin/sh
# Installs a build into a temporary prefix and checks what lands there:
# the three programs, the desktop entry (which must pass desktop-file-validate)
# and the icon it names, the CUPS filter and the PPDs.
#   tools/check-install.sh BUILD_DIR
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

status=0
for f in bin/printer-kivo bin/kivo-virtual-printer bin/kivo-send \
         share/applications/printer-kivo.desktop \
         share/icons/hicolor/128x128/apps/printer-kivo.png \
         lib/cups/filter/rastertokivo \
         share/cups/model/kivo/kivo-58.ppd share/cups/model/kivo/kivo-80.ppd; do
    if [ ! -e "$prefix/$f" ]; then
        echo "missing after install: $f"
        status=1
    fi
done
for f in bin/printer-kivo bin/kivo-virtual-printer bin/kivo-send lib/cups/filter/rastertokivo; do
    [ -x "$prefix/$f" ] || { echo "not executable: $f"; status=1; }
done

desktop="$prefix/share/applications/printer-kivo.desktop"
if [ -e "$desktop" ]; then
    # desktop-file-validate prints hints too; any output is a finding.
    out=$(desktop-file-validate "$desktop" 2>&1) || status=1
    [ -z "$out" ] || { echo "$out"; status=1; }
    grep -qx 'Exec=printer-kivo' "$desktop" || { echo "desktop entry does not start printer-kivo"; status=1; }
    grep -qx 'Icon=printer-kivo' "$desktop" || { echo "desktop entry names another icon"; status=1; }
fi

[ "$status" -eq 0 ] && echo "install layout: ok"
exit "$status"
