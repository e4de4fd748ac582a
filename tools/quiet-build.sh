#!/bin/sh
# Builds quietly (what `make run` does): the build's progress lines and
# make's "Entering directory" notes go only to the log; what is left, the
# compiler's warnings and errors, is shown.
#
#   tools/quiet-build.sh BUILD_DIR JOBS
set -eu

BUILD_DIR=$1
JOBS=$2
LOG=$BUILD_DIR/build.log

echo "Building in $BUILD_DIR/ (the first build takes a few minutes; full output in $LOG)"
status=0
cmake --build "$BUILD_DIR" -j "$JOBS" >"$LOG" 2>&1 || status=$?
grep -vE '^\[ *[0-9]+%\] |^g?make(\[[0-9]+\])?: (Entering|Leaving) directory|^-- ' "$LOG" || true
if [ "$status" -ne 0 ]; then
    echo "The build failed (above; full output in $LOG)." >&2
fi
exit "$status"
