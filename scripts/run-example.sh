#!/usr/bin/env bash
# Builds everything and runs the services shell on the tour of the sample service library.
# Extra arguments go to svcsh, e.g. `scripts/run-example.sh --json`.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "${JOBS:-$(nproc)}"
build/default/bin/svcsh "$@" examples/hello.svc
