#!/bin/sh
# Builds the virtual printer's fuzz target with clang and runs it for a
# bounded time (default 60 s) on a copy of the seed corpus kept in the tree.
#   virtual-printer/fuzz/run.sh [seconds]
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
seconds="${1:-60}"
build="$root/build-vp-fuzz"

command -v clang++ >/dev/null || { echo "clang++ is needed (tools/setup-debian.sh installs clang)"; exit 1; }
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_FUZZ=ON >/dev/null
cmake --build "$build" --target vp_fuzz -j "$(nproc 2>/dev/null || echo 2)"

work="$build/fuzz-corpus"
mkdir -p "$work" "$build/fuzz-artifacts"
# New inputs go to the work corpus; the seeds in the tree stay as they are.
ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}" \
"$build/virtual-printer/fuzz/vp_fuzz" "$work" "$here/corpus" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -max_len=70000 \
    -artifact_prefix="$build/fuzz-artifacts/"
