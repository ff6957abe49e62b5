#!/usr/bin/env bash
# Runs the test programs of an already built tree under valgrind memcheck, two at a time, and
# fails on any memcheck error or definite leak. Meant for the default (RelWithDebInfo) build:
# sanitizer builds cannot run under valgrind.
#
#   scripts/memcheck.sh                 uses build/default (scripts/test.sh default builds it)
#   SF_MEMCHECK_BUILD=build/x scripts/memcheck.sh
#   SF_MEMCHECK_JOBS                    programs run at once (default 2)
#
# What runs: every GoogleTest program of the suite with all its tests, and plugin_host, except
#  - soak_tests runs for ten seconds (SF_SOAK_SECONDS=10): valgrind runs one thread at a time,
#    and the soak needs that long to reset the factory several times;
#  - the death test in plugin_fault_tests, which ends a forked child on purpose;
#  - the shrinking-pool stress test in common_tests: its ten thousand rounds race a thread's exit
#    by spinning, which valgrind's one-thread-at-a-time scheduling turns into minutes (the default,
#    ASan and TSan runs keep it);
#  - the benchmarks and fuzzers, which are not built in this tree.
# Each program's full valgrind log is kept in <build>/memcheck/<program>.log.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${SF_MEMCHECK_BUILD:-build/default}"
jobs="${SF_MEMCHECK_JOBS:-2}"
command -v valgrind >/dev/null || { echo "valgrind is not installed (scripts/install-deps.sh)"; exit 1; }
[[ -d "$build/bin" ]] || { echo "no build in $build: run scripts/test.sh default first"; exit 1; }

logs="$build/memcheck"
rm -rf "$logs"
mkdir -p "$logs"

programs=()
for program in "$build"/bin/*_tests "$build"/bin/plugin_host; do
    [[ -x "$program" ]] && programs+=("$(basename "$program")")
done
[[ ${#programs[@]} -gt 0 ]] || { echo "no test programs in $build/bin"; exit 1; }

run_one() {
    local build="$1" logs="$2" program="$3"
    local arguments=(--gtest_filter="*")
    case "$program" in
        plugin_fault_tests) arguments=(--gtest_filter="-*CallingTheUnresolvedSymbolEndsTheProcess") ;;
        common_tests) arguments=(--gtest_filter="-*StressAPoolShrinkingToNoThreadNeverStrandsATask") ;;
        plugin_host) arguments=() ;;
    esac
    local start=$SECONDS
    # Definite leaks and every memcheck error fail; memory the libraries keep until exit
    # (OpenSSL's and libxml2's tables, the logger's registry) is "still reachable" and does not.
    # Test programs that replace operator new and delete to inspect released memory keep their
    # own versions (nouserintercepts); valgrind still sees the malloc and free beneath them.
    if SF_SOAK_SECONDS=10 valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
        --soname-synonyms=somalloc=nouserintercepts --suppressions=scripts/valgrind.supp \
        --show-leak-kinds=definite --errors-for-leak-kinds=definite --track-origins=no \
        --child-silent-after-fork=yes --log-file="$logs/$program.log" \
        "$build/bin/$program" "${arguments[@]}" >"$logs/$program.out" 2>&1; then
        printf '== %-28s passed (%ds)\n' "$program" $((SECONDS - start))
    else
        printf '== %-28s FAILED (%ds)\n' "$program" $((SECONDS - start))
        grep -E '^==[0-9]+== (Invalid|Conditional|Use of|Syscall|Mismatched|.*definitely lost)' \
            "$logs/$program.log" | head -n 20 || true
        tail -n 20 "$logs/$program.out"
        return 1
    fi
}
export -f run_one

start=$SECONDS
failed=0
printf '%s\n' "${programs[@]}" |
    xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ "$build" "$logs" {} || failed=1
echo "memcheck: ${#programs[@]} programs in $((SECONDS - start))s"
[[ $failed -eq 0 ]]
