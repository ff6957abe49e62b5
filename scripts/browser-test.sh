#!/usr/bin/env bash
# Runs the console page's browser test: headless chromium drives the page that `svcsh serve`
# serves, and a picture of the page is saved as <build dir>/console-page.png.
#
#   scripts/browser-test.sh                 the build in build/default
#   scripts/browser-test.sh build/asan      another build directory (or just: asan)
#
# Builds and installs nothing: build first (scripts/test.sh) and install chromium,
# chromium-driver and python3-selenium with scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/default}
if [[ ! -d "$build" && -d "build/$build" ]]; then
    build="build/$build"
fi
svcsh="$build/bin/svcsh"

missing=()
[[ -x "$svcsh" ]] || missing+=("$svcsh (build the tree first)")
[[ -x /usr/bin/chromium ]] || missing+=("/usr/bin/chromium (package chromium)")
[[ -x /usr/bin/chromedriver ]] || missing+=("/usr/bin/chromedriver (package chromium-driver)")
/usr/bin/python3 -c 'import selenium' 2>/dev/null || missing+=("selenium for /usr/bin/python3 (package python3-selenium)")
if [[ ${#missing[@]} -gt 0 ]]; then
    printf 'browser-test: missing %s\n' "${missing[@]}" >&2
    exit 1
fi

# Debian's python3 has selenium; another python3 earlier on PATH may not.
exec /usr/bin/python3 services/servicesconsole/tests/browser/console_page.py \
    --svcsh "$svcsh" --screenshot "$build/console-page.png"
