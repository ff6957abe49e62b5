#!/usr/bin/env bash
# Builds the release preset and runs every benchmark program (build/release/bin/bench_*:
# dispatch, security, reflection, loading). Each program prints Google Benchmark's table and then,
# per family, our time divided by each peer's from the same run, with the family's target and
# whether it is met. The peer libraries (asio, Poco, RTTR) are installed first when missing
# (that needs root; without them their variants are simply left out).
#
#   SF_BENCH_BUILD_DIR  build tree configured with the release preset (default build/release)
#   SF_BENCH_JOBS       parallel build jobs (default 2)
#   SF_BENCH_TIMEOUT    seconds one program may run before it is stopped and counted as failed
#                       (default 1200)
#   further arguments go to every program instead of the defaults below, e.g.
#   --benchmark_filter=Base64 or --benchmark_min_time=0.1
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/install-deps.sh --bench || echo "Could not install the benchmark peers; going on without."
build="${SF_BENCH_BUILD_DIR:-build/release}"
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j "${SF_BENCH_JOBS:-2}" --target bench_dispatch bench_security \
    bench_reflection bench_loading bench_console

# Five repetitions and their median by default, the repetitions of all benchmarks of a program
# run in random order: the machine may be shared, and so a slow spell falls on ours and the peers
# alike instead of on whichever ran during it.
if [ "$#" -eq 0 ]; then
    set -- --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
        --benchmark_report_aggregates_only=true --benchmark_min_time=0.2
fi

status=0
for program in "$build"/bin/bench_*; do
    [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    timeout "${SF_BENCH_TIMEOUT:-1200}" "$program" "$@" || {
        echo "== $(basename "$program") failed or timed out"
        status=1
    }
done
exit $status
