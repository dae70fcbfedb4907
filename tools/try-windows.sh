#!/usr/bin/env bash
# Builds the DLL users install and the GUI host beside it, and opens the host
# under Wine on this X display. Installs mingw-w64 and Wine first where they
# are missing (tools/setup-machine.sh, as root).
# Arguments are passed to the host: --plugin PATH, --script FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v i686-w64-mingw32-g++-win32 >/dev/null || ! wine --version >/dev/null 2>&1; then
  tools/setup-machine.sh
fi
cmake --preset windows-i686-release >/dev/null
cmake --build --preset windows-i686-release --target calcgui calcplugin >/dev/null
exec wine build/windows-i686-release/bin/calcgui.exe "$@"
