#!/usr/bin/env bash
# Habits the build cannot enforce: every C++ source as .clang-format lays it out, and every
# CTest line (parameterised cases included) readable as words, never as raw memory.
# Usage: tools/check_habits.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
status=0
if ! git ls-files -z '*.cpp' '*.hpp' | xargs -0 clang-format --dry-run --Werror; then
    echo "check_habits: sources differ from .clang-format (run clang-format -i on them)" >&2
    status=1
fi
if ! listing=$(cd "$build" && ctest -N); then
    echo "check_habits: ctest -N failed in $build" >&2
    exit 1
fi
if raw=$(grep -- '-byte object <' <<<"$listing"); then
    echo "$raw" >&2
    echo "check_habits: test parameters printed as raw memory (give the struct a PrintTo)" >&2
    status=1
fi
exit $status
