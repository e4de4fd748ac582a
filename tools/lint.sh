#!/bin/sh
# The house rules on the project's own code: the format of .clang-format,
# the layering (no library sees the window), cppcheck, and clang-tidy with
# the checks and naming rules of .clang-tidy. Prints every finding; exits
# non-zero if there is any.
#   tools/lint.sh [build folder]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
jobs=$(nproc 2>/dev/null || echo 2)

# clang-tidy needs the compile commands and the generated moc/uic headers.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null

findings=0
cd "$root"

echo "== format"
# Every tracked C++ file as .clang-format has it (tools/format.sh applies it).
if ! git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror; then
    findings=1
fi

echo "== layering"
# The libraries never include the window or its form.
if git grep -n -E '#include "(app/|ui_mainwindow\.h)' -- serial printer decoder demos bitmap traffic cups script send; then
    echo "a library includes the window (above)"
    findings=1
fi

echo "== cppcheck"
if ! cppcheck --enable=warning,performance,portability --std=c++17 --library=qt \
        --inline-suppr --quiet --error-exitcode=1 --suppress=missingIncludeSystem \
        -I "$root" "$root/app" "$root/serial" "$root/printer" "$root/decoder" "$root/demos" "$root/bitmap" "$root/traffic" "$root/cups" "$root/script" "$root/send" \
        "$root/tools" "$root/bench" "$root/tests" "$root/virtual-printer"; then
    findings=1
fi

echo "== clang-tidy"
# The project's own translation units, not the generated ones.
files=$(python3 - "$build/compile_commands.json" "$root" <<'PY'
import json, sys
commands, root = sys.argv[1], sys.argv[2] + "/"
files = sorted({e["file"] for e in json.load(open(commands))
                if e["file"].startswith(root) and "_autogen" not in e["file"]})
print("\n".join(files))
PY
)
out=$(mktemp)
echo "$files" | xargs -P "$jobs" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null >"$out" || true
if grep -qE '(warning|error):' "$out"; then
    # A header's finding shows once per file that includes it; print it once.
    grep -E '(warning|error):' "$out" | awk '!seen[$0]++'
    findings=1
fi
rm -f "$out"

if [ "$findings" -ne 0 ]; then
    echo "lint: findings above"
    exit 1
fi
echo "lint: no findings"
