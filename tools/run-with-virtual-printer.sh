#!/bin/sh
# Starts Printer Kivo with the virtual printer beside it (what `make run` does):
#
#   tools/run-with-virtual-printer.sh [BUILD_DIR]
#
# The virtual printer runs in the background on a pseudo-terminal reachable
# as /tmp/kivo-virtual-printer (KIVO_VP_LINK overrides it); Printer Kivo's
# settings list it as a port of its own. Its pages, its command log and its
# flash file go to BUILD_DIR/virtual-printer-output.
# When the program exits the virtual printer gets SIGTERM, writes its last
# page and removes the link.
set -eu

BUILD_DIR=${1:-build}
LINK=${KIVO_VP_LINK:-/tmp/kivo-virtual-printer}
OUTPUT=$BUILD_DIR/virtual-printer-output
PRINTER=$BUILD_DIR/virtual-printer/kivo-virtual-printer
PROGRAM=$BUILD_DIR/app/printer-kivo

for f in "$PRINTER" "$PROGRAM"; do
    if [ ! -x "$f" ]; then
        echo "run-with-virtual-printer: $f is missing; build first (make build)" >&2
        exit 1
    fi
done
mkdir -p "$OUTPUT"
STDOUT=$OUTPUT/virtual-printer.out

"$PRINTER" --link "$LINK" --output "$OUTPUT" --flash "$OUTPUT/flash.txt" >"$STDOUT" 2>&1 &
printer_pid=$!

stop_printer() {
    if kill -0 "$printer_pid" 2>/dev/null; then
        kill -TERM "$printer_pid" 2>/dev/null || true
        wait "$printer_pid" 2>/dev/null || true
    fi
}
trap stop_printer EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# It prints its device, link, output folder and flash file, then `ready`.
tries=0
until grep -qx ready "$STDOUT" 2>/dev/null; do
    if ! kill -0 "$printer_pid" 2>/dev/null; then
        cat "$STDOUT" >&2
        echo "run-with-virtual-printer: the virtual printer did not start" >&2
        exit 1
    fi
    tries=$((tries + 1))
    if [ "$tries" -gt 150 ]; then
        cat "$STDOUT" >&2
        echo "run-with-virtual-printer: the virtual printer did not get ready within 15 s" >&2
        exit 1
    fi
    sleep 0.1
done
cat <<EOF
The virtual printer is ready. In Printer Kivo open Settings -> Configure and
choose the port (listed below the system's ports)

    kivo-virtual-printer — virtual printer, pid $printer_pid

keep 115200 bit/s, 8 data bits, no parity, 1 stop bit, XON/XOFF, press Apply,
then Serial -> Connect. Printed pages and commands.log go to
$OUTPUT/ (the printer's link: $LINK).

EOF

status=0
"$PROGRAM" || status=$?

stop_printer
pages=$(grep -c '^page: ' "$STDOUT" || true)
echo "virtual printer stopped; $pages page(s) written this run, in $OUTPUT/"
exit "$status"
