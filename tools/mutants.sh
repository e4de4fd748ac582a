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
# MUTANTS_TIMEOUT (seconds a single test may take, default 60: a fault
# that makes a test hang costs that much),
# MUTANTS_MATRIX (a file: every test a fault reaches runs to its end, and
# the file gets one line per fault: its id and the test functions that
# failed, "-" for none; shows which tests catch what).
# A fault counts as caught when the build of the suite or any test fails.
# Only the tests a fault can reach run: those whose executable the fault
# changed, and those that start a program it changed.
# Exit status 0 when every fault is caught, 1 when some survive, 2 when the
# list does not apply to the tree (a fault whose text is not found exactly
# once) or the unchanged tree fails its own suite.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
list="$root/tools/mutants.txt"
work=${MUTANTS_DIR:-/tmp/kivo-mutants}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
timeout=${MUTANTS_TIMEOUT:-60}

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

# Every fault relinks most test programs: a faster linker where there is
# one, and only what the suite runs (no benches).
linker=""
if command -v ld.lld >/dev/null 2>&1; then
    linker=-fuse-ld=lld
elif command -v ld.gold >/dev/null 2>&1; then
    linker=-fuse-ld=gold
fi
build() {
    cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
        ${linker:+-DCMAKE_EXE_LINKER_FLAGS=$linker} >/dev/null || return 1
    targets="printer-kivo kivo-virtual-printer $(cd "$work/build" && ctest -N | sed -n 's/^ *Test *#[0-9]*: \(tst_[^ ]*\)$/\1/p')"
    cmake --build "$work/build" -j "$jobs" --target $targets >"$work/build.log" 2>&1
}
# suite [REGEX]: the tests whose names match REGEX, or all of them.
suite() {
    # In matrix mode every test runs to its end so all its failures are named.
    ctest_mode=--stop-on-failure
    [ -n "${MUTANTS_MATRIX:-}" ] && ctest_mode=--output-on-failure
    (cd "$work/build" && QT_QPA_PLATFORM=offscreen ctest -j "$jobs" --timeout "$timeout" \
        "$ctest_mode" \
        ${1:+-R "^($1)\$"} >"$work/ctest.log" 2>&1)
}
# The tests a fault reaches, as a regular expression: the test executables
# built anew since the stamp, and the tests that start a program built anew.
reached() {
    find "$work/build" -type f -perm -u+x -newer "$work/stamp" -printf '%f\n' | sort -u | while read -r name; do
        case "$name" in
        tst_*) echo "$name" ;;
        kivo-virtual-printer) printf 'tst_vp_line\ntst_vp_host\ntst_vp_budgets\n' ;;
        printer-kivo) echo install_layout ;;
        esac
    done | sort -u | paste -sd'|'
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
    touch "$work/stamp"
    : >"$work/ctest.log"
    verdict="caught  "
    if ! build; then
        verdict="caught  " # the suite no longer builds
    elif tests=$(reached) && { [ -z "$tests" ] || suite "$tests"; }; then
        verdict="survived"
    fi
    if [ -n "${MUTANTS_MATRIX:-}" ]; then
        # Test functions that failed, and whole tests that failed otherwise (a crash, a script).
        failed=$({
            grep -oE 'FAIL!  : [A-Za-z0-9_]+::[A-Za-z0-9_]+' "$work/ctest.log" | sed 's/^FAIL!  : //'
            sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (.*/@\1/p' "$work/ctest.log"
        } | sort -u | paste -sd' ')
        echo "$id: ${failed:--}" >>"$MUTANTS_MATRIX"
    fi
    if [ "$verdict" = survived ]; then
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
