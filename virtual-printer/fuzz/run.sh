#!/bin/sh
# Builds the virtual printer's fuzz target with clang and runs it for a
# bounded time (default 60 s) on a copy of the seed corpus kept in the tree.
#   virtual-printer/fuzz/run.sh [seconds]
# The same as `make fuzz` for this target alone (tools/fuzz.sh printer).
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
FUZZ_SECONDS="${1:-${FUZZ_SECONDS:-60}}" exec "$here/../../tools/fuzz.sh" printer
