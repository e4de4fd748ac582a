#!/bin/sh
# Applies .clang-format to every tracked C++ file (`make lint` checks it).
set -eu
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.h' | xargs clang-format -i
