#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, AddressSanitizer + UBSan) and runs each one
# for a bounded time, starting from its seed corpus in fuzz/corpus/<target>/. Inputs found on the
# way go to a scratch directory, so the committed seeds stay as they are. Exits non-zero when any
# target reports a crash, a leak, a sanitizer finding, a failed check or a timeout; the input that
# did it is kept as build/fuzz/artifacts/<target>-*.
#
#   SF_FUZZ_SECONDS  seconds per target (default 30)
#   SF_FUZZ_JOBS     parallel build jobs (default 2)
#   SF_FUZZ_TARGETS  space-separated subset of targets to run (default: all)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${SF_FUZZ_SECONDS:-30}"
cd "$root"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${SF_FUZZ_JOBS:-2}"

bin="$root/build/fuzz/bin"
artifacts="$root/build/fuzz/artifacts"
mkdir -p "$artifacts"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

targets="${SF_FUZZ_TARGETS:-$(cd fuzz/corpus && ls -d */ | tr -d /)}"
passed=0
failed=0
for target in $targets; do
    mkdir -p "$scratch/$target"
    echo "== $target (${seconds}s)"
    if "$bin/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        "$scratch/$target" "fuzz/corpus/$target" >"$scratch/$target.log" 2>&1; then
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^Done [0-9]+ runs' \
            "$scratch/$target.log" || true
        passed=$((passed + 1))
    else
        tail -n 60 "$scratch/$target.log"
        echo "== $target FAILED"
        failed=$((failed + 1))
    fi
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
