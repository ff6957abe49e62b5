#!/usr/bin/env bash
# Installs the default build into a scratch prefix, then builds and runs the example host against
# that installation through find_package and through pkg-config, as a host or plug-in would, and
# a plug-in built only against the installed headers, which a host then loads and finds.
set -euo pipefail
cd "$(dirname "$0")/.."

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install build/default --prefix "$prefix" >/dev/null
cmake -S examples/installed -B "$prefix/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/consumer" >/dev/null
"$prefix/consumer/installed_host" >/dev/null
"$prefix/consumer/installed_plugin_host" >/dev/null

# shellcheck disable=SC2046
c++ -o "$prefix/pc_host" examples/hello_host.cpp \
    $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs servicesframework) \
    -Wl,-rpath,"$prefix/lib"
"$prefix/pc_host" >/dev/null

# The installed shell finds the installed sample library beside it, wherever the prefix is.
greeting=$(env -u ZAM_RESOURCES_DIR "$prefix/bin/svcsh" -e 'HelloWorldService/sayHello(name="install")')
[ "$greeting" = "Hello, install!" ] || { echo "installed svcsh said: $greeting"; exit 1; }
# SF_CONSOLE starts the installed console from beside the installed framework; a host whose
# console library is missing only hears one warning and runs on.
served=$(SF_CONSOLE=tcp:127.0.0.1:0 ZAMLOG_LEVEL=info XDG_RUNTIME_DIR="$prefix" \
    "$prefix/bin/svcsh" -e 'HelloWorldService/add(a=2, b=3)' 2>&1)
grep -q "Console serving at tcp:127.0.0.1:" <<<"$served" || { echo "no console started: $served"; exit 1; }
rm "$prefix"/lib/libservicesconsole.so*
missing=$(SF_CONSOLE=unix "$prefix/consumer/installed_plugin_host" 2>&1 >/dev/null) ||
    { echo "a host without the console library failed: $missing"; exit 1; }
[ "$(grep -c 'SF_CONSOLE is set, but the console library .* cannot be loaded' <<<"$missing")" = 1 ] ||
    { echo "a missing console library said: $missing"; exit 1; }
echo "install check: find_package and pkg-config hosts built and ran; an installed-only plug-in loaded;"
echo "  the installed svcsh drove the installed sample library and started the installed console;"
echo "  a host without the console library warned once and ran"
