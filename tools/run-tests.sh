#!/usr/bin/env bash
# Builds every preset and runs every test. Run as root on a fresh Debian 12
# machine, it first installs whatever is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

# --- Packages ---------------------------------------------------------------
packages=(cmake ninja-build g++ clang libgtest-dev googletest libbenchmark-dev locales
  libclang-rt-14-dev libmuparser-dev libedit-dev
  g++-mingw-w64-i686 wine wine32:i386 xvfb xauth imagemagick x11-utils)

as_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "run-tests: $1 (run as root to set it up)" >&2
    exit 1
  fi
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root "the i386 architecture is needed for Wine"
  dpkg --add-architecture i386
  fi
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root "missing packages: ${missing[*]}"
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null
fi

# Wine's loader is a 32-bit x86 program. Some virtual machines cannot run
# those natively; there qemu's user-mode emulator runs it. Debian 12's qemu
# (7.2) cannot start Wine, the one in bookworm-backports can.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  as_root "32-bit programs do not run here; qemu-user-static from backports is needed"
  backports=/etc/apt/sources.list.d/bookworm-backports.sources
  if ! grep -rqs "bookworm-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    cat >"$backports" <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  fi
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q -t bookworm-backports \
    qemu-user-static </dev/null
  [ -e /proc/sys/fs/binfmt_misc/register ] ||
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  # A registration made before an upgrade keeps the old emulator open.
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FPC' \
    >/proc/sys/fs/binfmt_misc/register
  /usr/lib/wine/wine --version >/dev/null
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

# --- Windows DLL: its suites under Wine, and the same answers as natively ----
cmake --preset windows-i686
cmake --build --preset windows-i686

# A session of 10,000 commands must give byte-identical transcripts from the
# native library and the DLL, also with the host in a decimal-comma locale.
parity=$(mktemp -d)
trap 'rm -rf "$parity"' EXIT
build/native/bin/parity_corpus 10000 >"$parity/commands"
localedef -i de_DE -f UTF-8 "$parity/de_DE.UTF-8" 2>/dev/null || true
build/native/bin/calchost <"$parity/commands" >"$parity/native"
LOCPATH="$parity" build/native/bin/calchost --locale de_DE.UTF-8 \
  <"$parity/commands" >"$parity/native-comma"

export PARITY_DIR=$parity
tools/wine-session.sh build/windows-i686/bin/wine_keepalive.exe bash -c '
  set -e
  for locale in C German; do
    wine build/windows-i686/bin/calchost.exe --locale "$locale" <"$PARITY_DIR/commands" |
      tr -d "\r" >"$PARITY_DIR/windows-$locale"
  done
  for transcript in native-comma windows-C windows-German; do
    cmp "$PARITY_DIR/native" "$PARITY_DIR/$transcript"
  done
  echo "parity: $(grep -c . "$PARITY_DIR/commands") commands, four identical transcripts"
  ctest --preset windows-i686
'
