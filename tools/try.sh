#!/usr/bin/env bash
# Builds the plug-in and the console host, then starts the host on it.
# Arguments are passed to the host: commands to run instead of reading them.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/try -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALC_BUILD_TESTS=OFF >/dev/null
cmake --build build/try --target calchost calcplugin >/dev/null
exec build/try/bin/calchost "$@"
