#!/usr/bin/env bash
# Installs the Debian packages that building and testing the framework need, when any is missing.
# A no-op when everything is there. Needs root (apt-get) only when something must be installed.
#
#   scripts/install-deps.sh            build and test dependencies
#   scripts/install-deps.sh --bench    also the peer libraries the benchmarks compare against
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev clang-format pkg-config git
    libgtest-dev libgmock-dev libbenchmark-dev
    libxml2-dev libssl-dev libedit-dev nlohmann-json3-dev valgrind
    libboost-dev
    chromium chromium-driver python3-selenium
)
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(libasio-dev libpoco-dev librttr-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$package")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
if [[ "${1:-}" == "--bench" ]]; then
    # The peers are optional: a benchmark family without its peer simply has fewer variants.
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
        echo "Some benchmark peers could not be installed; their variants are left out."
else
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
