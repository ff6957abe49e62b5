#!/usr/bin/env bash
# Builds the framework with one CMake preset and runs its whole test suite.
#
#   scripts/test.sh            the default preset (RelWithDebInfo)
#   scripts/test.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer
#   scripts/test.sh tsan       ThreadSanitizer
#   scripts/test.sh debug
set -euo pipefail
cd "$(dirname "$0")/.."

preset=${1:-default}
jobs=${JOBS:-$(nproc)}

scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$jobs"
ctest --preset "$preset" -j "$jobs"
