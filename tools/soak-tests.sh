#!/bin/sh
# Runs the whole test suite N times in a row and prints every failure, to
# show that it passes on any machine, every time. With --load, a busy loop
# runs on every core meanwhile, as on a machine busy with other work.
#
#   tools/soak-tests.sh N [--load] [build folder, default build]
#
# Builds first (as `make build`). Prints one line a run (its wall time and
# the tests that failed, with their output in the log named), then a
# summary; exits non-zero if any run failed.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: $0 N [--load] [build folder]" >&2; exit 2; }
runs=$1
shift
load=0
if [ "${1:-}" = "--load" ]; then
    load=1
    shift
fi
build=${1:-$root/build}
jobs=$(nproc 2>/dev/null || echo 2)
logs=$(mktemp -d /tmp/kivo-soak.XXXXXX)

make -C "$root" --no-print-directory build BUILD_DIR="$build" >/dev/null

busy=""
stop_load() {
    [ -n "$busy" ] && kill $busy 2>/dev/null || true
}
trap stop_load EXIT INT TERM
if [ "$load" -eq 1 ]; then
    for _ in $(seq "$jobs"); do
        sh -c 'while :; do :; done' &
        busy="$busy $!"
    done
    echo "soak: a busy loop on each of $jobs cores"
fi

failed=0
times=""
for run in $(seq "$runs"); do
    log="$logs/run-$run.log"
    start=$(date +%s%N)
    if (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" >"$log" 2>&1); then
        result="green"
    else
        result="FAILED: $(grep -E '^\s+[0-9]+ - ' "$log" | sed 's/^ *[0-9]* - //' | tr '\n' ' ')(see $log)"
        failed=$((failed + 1))
    fi
    ms=$((($(date +%s%N) - start) / 1000000))
    times="$times $ms"
    printf 'run %s: %d.%d s, %s\n' "$run" $((ms / 1000)) $((ms % 1000 / 100)) "$result"
done

echo "$times" | tr ' ' '\n' | grep . | sort -n | awk -v runs="$runs" -v failed="$failed" \
    '{ t[NR] = $1 / 1000 } END { printf "soak: %d runs, %d failed; wall time min %.1f s, median %.1f s, max %.1f s\n", runs, failed, t[1], t[int((NR + 1) / 2)], t[NR] }'
[ "$failed" -eq 0 ]
