#!/usr/bin/env bash
# Builds the release preset and runs every benchmark program (build/release/bin/bench_*). Each
# program prints Google Benchmark's table and then, per family, our time divided by each peer's.
# The peer libraries are installed first when missing (Poco needs root; without it the poco
# variants are simply left out).
#
#   SF_BENCH_JOBS     parallel build jobs (default 2)
#   SF_BENCH_TIMEOUT  seconds one program may run before it is stopped and counted as failed
#                     (default 1200)
#   further arguments go to every program instead of the defaults below, e.g.
#   --benchmark_filter=Base64 or --benchmark_min_time=0.1
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/install-deps.sh --bench || echo "Could not install the benchmark peers; going on without."
cmake --preset release >/dev/null
cmake --build --preset release -j "${SF_BENCH_JOBS:-2}"

# Three repetitions and their median by default: the machine may be shared.
if [ "$#" -eq 0 ]; then
    set -- --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
        --benchmark_min_time=0.2
fi

status=0
for program in build/release/bin/bench_*; do
    [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    timeout "${SF_BENCH_TIMEOUT:-1200}" "$program" "$@" || {
        echo "== $(basename "$program") failed or timed out"
        status=1
    }
done
exit $status
