#!/usr/bin/env bash
# Builds the framework and runs the example host.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "${JOBS:-$(nproc)}" --target hello_host
build/default/bin/hello_host
