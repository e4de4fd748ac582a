#!/bin/bash
# `make fuzz`: builds the libFuzzer targets with clang (address and undefined
# behaviour sanitizers on) in their own build folder and runs each for a
# bounded time, then prints a summary. Not part of `make test`.
#
#   tools/fuzz.sh [TARGET...]    TARGET: image, printer (default: both)
#
#   image    file bytes -> Qt's image reader -> the program's 1-bit form ->
#            the raster commands of "Print Raster Image" (bitmap/fuzz)
#   printer  bytes -> the virtual printer's decoder and renderer
#            (virtual-printer/fuzz); the first byte's high bit chooses
#            the shortest page (--max-page 256) over pages of 4000 dots,
#            its bit 6 the network port beside the pseudo-terminal's side
#            (clients on a loopback port that connect, send, shut down
#            their sending side, close, read and go silent)
#
# Environment:
#   FUZZ_SECONDS    run time of each target in seconds (default 60)
#   FUZZ_TIMEOUT    seconds one input may take before it counts as a hang
#                   (default 10 for image, 20 for printer, which renders
#                   whole pages)
#   FUZZ_BUILD_DIR  build folder (default build-fuzz)
#
# Each target starts from its seeds in the tree and the inputs kept as
# regression cases, copied into a work corpus in the build folder (the tree
# is never written); the work corpus is kept, so a later run goes on from
# what an earlier one found. A crash, hang or memory blow-up stops that
# target; its input is written to the target's artifacts folder, named in
# the summary. The exit status is 1 when any target found something.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${FUZZ_SECONDS:-60}"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
jobs="$(nproc 2>/dev/null || echo 2)"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(image printer)

# (0 would mean no limit to libFuzzer.)
case "$seconds" in ''|*[!0-9]*) seconds=0 ;; esac
if [ "$((10#$seconds))" -lt 1 ]; then
    echo "fuzz.sh: FUZZ_SECONDS must be a whole number of seconds, at least 1" >&2
    exit 2
fi
seconds="$((10#$seconds))"
case "${FUZZ_TIMEOUT:-0}" in *[!0-9]*) echo "fuzz.sh: FUZZ_TIMEOUT must be a whole number of seconds" >&2; exit 2 ;; esac

binaries=()
for t in "${targets[@]}"; do
    case "$t" in
        image) binaries+=(image_fuzz) ;;
        printer) binaries+=(vp_fuzz) ;;
        *) echo "fuzz.sh: unknown target '$t' (image, printer)" >&2; exit 2 ;;
    esac
done

"$root/tools/setup-debian.sh" fuzz

echo "== Building ${binaries[*]} with clang in $build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_FUZZ=ON >/dev/null
cmake --build "$build" --target "${binaries[@]}" -j "$jobs"

# Qt keeps some allocations for the life of the process (plugins, caches);
# leaks are not looked for. Undefined behaviour stops the run like a crash.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"

summary=()
found=0

for t in "${targets[@]}"; do
    # Executable, seeds, inputs kept as regression cases, largest input,
    # memory limit, hang limit.
    case "$t" in
        image)
            bin="$build/bitmap/fuzz/image_fuzz"
            seeds="$root/bitmap/fuzz/corpus"
            regressions="$root/tests/fuzz-regressions/image"
            maxlen=16384
            rss=2048
            timeout="${FUZZ_TIMEOUT:-10}"
            ;;
        printer)
            bin="$build/virtual-printer/fuzz/vp_fuzz"
            seeds="$root/virtual-printer/fuzz/corpus"
            regressions="$root/virtual-printer/tests/fuzz-regressions"
            maxlen=70000
            rss=4096
            timeout="${FUZZ_TIMEOUT:-20}"
            ;;
    esac
    work="$build/fuzz/$t"
    mkdir -p "$work/corpus" "$work/artifacts"
    cp -p "$seeds"/* "$work/corpus/"
    if [ -d "$regressions" ]; then
        find "$regressions" -maxdepth 1 -type f -exec cp -p {} "$work/corpus/" \;
    fi
    log="$work/last-run.log"

    echo "== Fuzzing '$t' for $seconds s (log: $log)"
    set +e
    "$bin" "$work/corpus" \
        -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb="$rss" -max_len="$maxlen" \
        -artifact_prefix="$work/artifacts/" -print_final_stats=1 2>&1 \
        | tee "$log" | grep -v -E '^(#[0-9]+[[:space:]]+(NEW|REDUCE)|libpng (error|warning))'
    status=${PIPESTATUS[0]}
    set -e

    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    [ -n "$runs" ] || runs="$(grep -o -E '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')"
    speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)"
    coverage="$(grep -o -E 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[^ ]+' "$log" | tail -n 1)"
    artifact="$(sed -n 's/.*Test unit written to //p' "$log" | tail -n 1)"

    if [ "$status" -eq 0 ]; then
        outcome="clean"
    else
        found=1
        if grep -q 'ERROR: libFuzzer: timeout' "$log"; then outcome="HANG"
        elif grep -q -E 'ERROR: libFuzzer: (out-of-memory|malloc)' "$log"; then outcome="OUT OF MEMORY"
        elif grep -q 'runtime error:' "$log"; then outcome="UNDEFINED BEHAVIOUR"
        elif grep -q '^image path: ' "$log"; then outcome="RULE BROKEN"
        else outcome="CRASH"
        fi
        outcome="$outcome (exit $status)"
    fi
    line="$(printf '%-8s %-26s %10s runs %6s/s  hang limit %3s s  %s' "$t" "$outcome" "${runs:-?}" "${speed:-?}" "$timeout" "${coverage:-no coverage line}")"
    [ -z "$artifact" ] || line="$line"$'\n'"         input: $artifact"
    summary+=("$line")
done

echo
echo "== Fuzzing summary ($seconds s per target)"
for line in "${summary[@]}"; do
    echo "$line"
done
if [ "$found" -ne 0 ]; then
    echo "Something was found: see the input and the log above. Keep the input as a regression case once fixed."
    exit 1
fi
