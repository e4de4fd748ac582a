#!/bin/sh
# Runs every bench program of a Release build folder and prints one line per
# figure, after a line that names the machine. `make bench` calls it.
#
#   bench/run.sh [BUILD_DIR]        (default: build)
set -eu
build=${1:-build}
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(awk '/^MemTotal:/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
echo "machine: ${cpu:-unknown CPU}, $(nproc) cores, $memory memory; load average $(cut -d' ' -f1-3 /proc/loadavg)"
export QT_QPA_PLATFORM=offscreen
"$build/bench/startup_bench"
"$build/bench/serial_bench" 2>/dev/null
"$build/bench/image_bench" 2>/dev/null
"$build/virtual-printer/bench/vp_throughput" 2>/dev/null | sed 's/^ */vp: /' || true
"$build/virtual-printer/bench/vp_replies" 2>/dev/null | sed 's/^ */vp: /' || true
"$build/virtual-printer/bench/vp_window_bench" 2>/dev/null || true
"$build/virtual-printer/bench/vp_program" 2>/dev/null | sed 's/^ */vp: /' || true
