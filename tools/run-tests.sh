#!/usr/bin/env bash
# Builds every preset and runs every test. Run as root on a fresh Debian 12
# machine, it first installs whatever is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

# --- Packages ---------------------------------------------------------------
packages=(cmake ninja-build g++ clang libgtest-dev googletest libbenchmark-dev locales libclang-rt-14-dev libmuparser-dev)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null
fi

# --- Native build and its tests ---------------------------------------------
cmake --preset native
cmake --build --preset native
ctest --preset native

# --- The same suites under the sanitizers -----------------------------------
cmake --preset native-sanitize
cmake --build --preset native-sanitize
ctest --preset native-sanitize

# --- Fuzz targets: a fixed number of runs each, from the seed corpora --------
# New inputs go to a scratch directory; the committed corpora stay as they are.
cmake --preset fuzz
cmake --build --preset fuzz
fuzz_scratch=$(mktemp -d)
for target in fuzz_commands fuzz_reader; do
  mkdir -p "$fuzz_scratch/$target"
  "build/fuzz/bin/$target" -runs=20000 -artifact_prefix="$fuzz_scratch/" \
    "$fuzz_scratch/$target" "fuzz/corpus/$target"
done
rm -rf "$fuzz_scratch"
