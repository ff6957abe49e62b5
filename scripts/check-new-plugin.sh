#!/usr/bin/env bash
# What a plug-in author does first, end to end: installs the default build into a scratch prefix,
# generates a service library there with `svcsh new-plugin`, builds it against the installed
# package alone, runs its test, checks it with `svcsh check` and calls it through svcsh.
#
#   scripts/check-new-plugin.sh        after scripts/test.sh (SF_BUILD_DIR picks another build)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${SF_BUILD_DIR:-build/default}
jobs=${JOBS:-$(nproc)}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Quiet while it works; the whole output of a step that fails.
step() {
    if ! "$@" >"$scratch/step.log" 2>&1; then
        echo "check-new-plugin: failed: $*"
        cat "$scratch/step.log"
        exit 1
    fi
}

prefix="$scratch/prefix"
project="$scratch/Thermo"
svcsh="$prefix/bin/svcsh"
step cmake --install "$build" --prefix "$prefix"
step "$svcsh" new-plugin Thermo "$project"
step cmake -S "$project" -B "$project/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix"
step cmake --build "$project/build" -j "$jobs"
step ctest --test-dir "$project/build" --output-on-failure
step "$svcsh" check "$project/build/Thermo"
answer=$(env -u ZAM_RESOURCES_DIR "$svcsh" --manifest "$project/build/Thermo" \
    -e 'ThermoService/greet(name="CI")' -e 'ThermoService/adjust(delta=2.5)')
expected=$'Hello, CI, from Thermo\n2.5'
if [ "$answer" != "$expected" ]; then
    echo "check-new-plugin: the generated library answered:"
    echo "$answer"
    exit 1
fi
echo "new-plugin check: a generated library built against the installed package, passed its test"
echo "  and svcsh check, and answered through svcsh"
