#!/usr/bin/env bash
# Builds every preset and runs every test. Run as root on a fresh Debian 12
# machine, it first installs whatever is missing (tools/setup-machine.sh); on
# a prepared machine it needs no root.
set -euo pipefail
cd "$(dirname "$0")/.."
# The machines this runs on have two cores, shared.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

# --- Machine set-up, only when something is missing (that needs root) -------
tools/setup-machine.sh --check || tools/setup-machine.sh

# Each test run's summary is kept, so that the last lines can say why each
# skipped test was skipped: ctest's summary names them, not the reason, which
# such a test prints on a line of its own after "skipped: ".
summaries=build/test-summaries
rm -rf "$summaries" && mkdir -p "$summaries"
run_ctest() {  # PRESET
  ctest --preset "$1" | tee "$summaries/$1"
}
# The reasons of the skipped tests of PRESET's last run.
print_skips() {
  local names
  names=$(sed -n -E 's/^[[:space:]]*[0-9]+ - ([^ ]+) \(Skipped\)[[:space:]]*$/\1/p' "$summaries/$1" |
    tr '\n' ' ')
  [ -n "$names" ] || return 0
  awk -v preset="$1" -v names="$names" '
    BEGIN { count = split(names, list, " "); for (i = 1; i <= count; i++) wanted[list[i]] = 1 }
    /^[0-9]+\/[0-9]+ Test: / { test = $3; next }
    /^Output:$/ { current = test; next }
    /^<end of output>/ { current = "" }
    current in wanted && /skipped: / {
      sub(/\r$/, ""); sub(/.*skipped: /, "")
      print "  " preset ": " current ": " $0; told[current] = 1
    }
    END { for (name in wanted) if (!(name in told)) print "  " preset ": " name ": (no reason printed)" }
  ' "build/$1/Testing/Temporary/LastTest.log"
}

# --- Native build and its tests ---------------------------------------------
cmake --preset native
cmake --build --preset native
run_ctest native

# --- The same suites under the sanitizers -----------------------------------
cmake --preset native-sanitize
cmake --build --preset native-sanitize
run_ctest native-sanitize

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

# --- The DLL users install, and the zip it comes in ---------------------------
cmake --preset windows-i686-release
cmake --build --preset windows-i686-release
cmake --build --preset windows-i686-release --target package
release=build/windows-i686-release
package=$(sed -n 's/^[0-9a-f]\{64\}  \(.*\)\.zip$/\1/p' "$release/SHA256SUMS")
# Unpacked and checked as a user does, with SHA256SUMS beside the zip.
unzipped=$release/unzipped
rm -rf "$unzipped" && mkdir -p "$unzipped"
cp "$release/$package.zip" "$release/SHA256SUMS" "$unzipped/"
(cd "$unzipped" && cmake -E tar xf "$package.zip" && sha256sum --quiet -c SHA256SUMS)
contents=$(cd "$unzipped" && find "./$package" -type f | LC_ALL=C sort | tr '\n' ' ')
kit="sdk/docs/host-contract.md sdk/host/minimal_host.c sdk/include/calcplugin.h"
expected="./$package/LICENSE ./$package/README.md ./$package/THIRD-PARTY-NOTICES.txt ./$package/calcplugin.dll "
for file in $kit; do expected+="./$package/$file "; done
if [ "$contents" != "$expected" ]; then
  echo "run-tests: $package.zip holds: $contents; expected: $expected" >&2
  exit 1
fi
# Every relative link of its README and guide leads to a file in the zip.
folder=$(realpath "$unzipped/$package")
for doc in README.md sdk/docs/host-contract.md; do
  for link in $(grep -o '](\([^)# ]*\)' "$folder/$doc" | cut -c3- | grep -v '^https\?://'); do
    target=$(realpath -m "$(dirname "$folder/$doc")/$link")
    if [[ $target != "$folder"/* || ! -f $target ]]; then
      echo "run-tests: $doc in $package.zip links to $link, which the zip does not hold" >&2
      exit 1
    fi
  done
done
# The host author's kit, byte for byte as in the source tree.
for file in $kit; do
  cmp "$unzipped/$package/$file" "${file#sdk/}"
done
# The file in the zip is the one the Windows tests below load.
shipped=$unzipped/$package/calcplugin.dll
cmp "$shipped" "$release/bin/calcplugin.dll"
echo "package: $package.zip, $(stat -c %s "$shipped") bytes of DLL, SHA256SUMS match"

# The same bytes from a copy of the sources at another path, built again: the
# DLL, its debug file, the zip and SHA256SUMS. Unless SOURCE_DATE_EPOCH is
# set, the build above takes the zip's time from git, and the copy (which has
# no .git) is given the same time in SOURCE_DATE_EPOCH.
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$copy"
(
  if [ -z "${SOURCE_DATE_EPOCH+set}" ] && epoch=$(git log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH=$epoch
  fi
  cd "$copy"
  cmake --preset windows-i686-release >/dev/null
  cmake --build --preset windows-i686-release --target package >/dev/null
)
for file in bin/calcplugin.dll bin/calcplugin.dll.debug "$package.zip" SHA256SUMS; do
  cmp "$release/$file" "$copy/$release/$file"
done
echo "reproducible: the DLL, its debug file and $package.zip built again in $copy"
rm -rf "$copy"
trap - EXIT

# --- Windows: the suites under Wine, and the same answers as natively --------
# The test build places the shipped DLL beside its programs (CALC_SHIPPED_DLL).
cmake --preset windows-i686
cmake --build --preset windows-i686

# A session of 10,000 commands must give byte-identical transcripts from the
# native library and the shipped DLL, also with the host in a decimal-comma
# locale.
parity=$(mktemp -d)
trap 'rm -rf "$parity"' EXIT
build/native/bin/parity_corpus 10000 >"$parity/commands"
localedef -i de_DE -f UTF-8 "$parity/de_DE.UTF-8" 2>/dev/null || true
build/native/bin/calchost <"$parity/commands" >"$parity/native"
LOCPATH="$parity" build/native/bin/calchost --locale de_DE.UTF-8 \
  <"$parity/commands" >"$parity/native-comma"

export PARITY_DIR=$parity SHIPPED_DLL=$shipped SUMMARIES=$summaries
tools/wine-session.sh build/windows-i686/bin/wine_keepalive.exe bash -c '
  set -eo pipefail
  for locale in C German; do
    wine build/windows-i686/bin/calchost.exe --plugin "$SHIPPED_DLL" --locale "$locale" \
      <"$PARITY_DIR/commands" | tr -d "\r" >"$PARITY_DIR/windows-$locale"
  done
  for transcript in native-comma windows-C windows-German; do
    cmp "$PARITY_DIR/native" "$PARITY_DIR/$transcript"
  done
  echo "parity: $(grep -c . "$PARITY_DIR/commands") commands, four identical transcripts"
  ctest --preset windows-i686 | tee "$SUMMARIES/windows-i686"
'

# --- What was skipped, and why ------------------------------------------------
skips=$(for preset in native native-sanitize windows-i686; do print_skips "$preset"; done)
if [ -n "$skips" ]; then
  echo "skipped tests, and why:"
  echo "$skips"
else
  echo "no test was skipped"
fi
