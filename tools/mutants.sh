#!/bin/sh
# Shows what the test suite catches: applies each hand-chosen fault of
# tools/mutants.txt (a wrong byte, a swapped argument, an off-by-one, a
# missing guard, a wrong text, ...) to a scratch copy of the tree, builds it,
# runs the whole suite, and prints the faults that survive.
#
#   tools/mutants.sh [FAULT-ID...]     all faults, or only the named ones
#
# Environment: MUTANTS_REV (a commit to test instead of the working tree:
# its code and its suite, with this list), MUTANTS_DIR (scratch folder, default /tmp/kivo-mutants),
# JOBS (parallel build and test jobs, default the number of cores),
# MUTANTS_TIMEOUT (seconds a single test may take, default 300).
# A fault counts as caught when the build of the suite or any test fails.
# Exit status 0 when every fault is caught, 1 when some survive, 2 when the
# list does not apply to the tree (a fault whose text is not found exactly
# once) or the unchanged tree fails its own suite.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
list="$root/tools/mutants.txt"
work=${MUTANTS_DIR:-/tmp/kivo-mutants}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
timeout=${MUTANTS_TIMEOUT:-300}

# The tree as it stands (uncommitted changes included) or the commit asked
# for, copied fresh: src is built and mutated, orig puts each file back.
rm -rf "$work/src" "$work/orig"
mkdir -p "$work/src" "$work/orig"
if [ -n "${MUTANTS_REV:-}" ]; then
    (cd "$root" && git archive "$MUTANTS_REV") | tar -x -C "$work/orig"
else
    (cd "$root" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$work/orig")
fi
cp -a "$work/orig/." "$work/src/"

build() {
    cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
        cmake --build "$work/build" -j "$jobs" >"$work/build.log" 2>&1
}
suite() {
    (cd "$work/build" && QT_QPA_PLATFORM=offscreen ctest -j "$jobs" --timeout "$timeout" \
        --stop-on-failure >"$work/ctest.log" 2>&1)
}

echo "mutants: building the unchanged tree in $work"
if ! build || ! suite; then
    echo "mutants: the unchanged tree does not build or pass; see $work/build.log and $work/ctest.log"
    exit 2
fi

python3 "$root/tools/mutants.py" check "$list" "$work/src" "$@" || exit 2

caught=0
survived=""
total=0
for id in $(python3 "$root/tools/mutants.py" ids "$list" "$@"); do
    total=$((total + 1))
    file=$(python3 "$root/tools/mutants.py" apply "$list" "$work/src" "$id")
    if build && suite; then
        survived="$survived $id"
        echo "  survived  $id  $(python3 "$root/tools/mutants.py" describe "$list" "$id")"
    else
        caught=$((caught + 1))
        echo "  caught    $id"
    fi
    cp "$work/orig/$file" "$work/src/$file"
done

# Leave the scratch build matching the tree again.
build || true
echo "mutants: $caught of $total faults caught"
if [ -n "$survived" ]; then
    echo "mutants: survivors:$survived"
    exit 1
fi
exit 0
