#!/usr/bin/env bash
# Builds the DLL and the GUI host and opens the host under Wine on this X
# display. Installs mingw-w64 and Wine first where they are missing (as root).
# Arguments are passed to the host: --plugin PATH, --script FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v wine >/dev/null || ! command -v i686-w64-mingw32-g++-posix >/dev/null; then
  if [ -e tools/setup-machine.sh ]; then
    bash tools/setup-machine.sh
  else
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q g++-mingw-w64-i686 wine wine32:i386
  fi
fi
cmake -S . -B build/try-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALC_BUILD_TESTS=OFF -DCALC_BUILD_BENCH=OFF >/dev/null
cmake --build build/try-windows --target calcgui calcplugin >/dev/null
exec wine build/try-windows/bin/calcgui.exe "$@"
