#!/usr/bin/env bash
# Prepares a Debian 12 machine to build and test every preset: the packages,
# the i386 architecture Wine needs and, where 32-bit x86 programs cannot run
# natively, qemu's user-mode emulator to run Wine's loader.
#   tools/setup-machine.sh          as root: install whatever is missing
#   tools/setup-machine.sh --check  list what is missing; fails if anything is
set -euo pipefail

packages=(cmake ninja-build g++ clang libgtest-dev googletest libbenchmark-dev locales
  libclang-rt-14-dev libmuparser-dev libedit-dev
  g++-mingw-w64-i686 zip wine wine32:i386 fonts-wine xvfb xauth imagemagick x11-utils)

has_i386() { dpkg --print-foreign-architectures | grep -qx i386; }
missing_packages() {
  for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || echo "$package"
  done
}
runs_wine() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

if [ "${1:-}" = --check ]; then
  status=0
  has_i386 || { echo "setup-machine: the i386 architecture is not enabled" >&2; status=1; }
  missing=$(missing_packages | tr '\n' ' ')
  [ -z "$missing" ] || { echo "setup-machine: missing packages: $missing" >&2; status=1; }
  if [ $status -eq 0 ] && ! runs_wine; then
    echo "setup-machine: Wine's 32-bit loader does not run here" >&2
    status=1
  fi
  exit $status
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup-machine: run as root to install what is missing" >&2
  exit 1
fi

has_i386 || dpkg --add-architecture i386
mapfile -t missing < <(missing_packages)
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null
fi

# Wine's loader is a 32-bit x86 program. Some virtual machines cannot run
# those natively; there qemu's user-mode emulator runs it. Debian 12's qemu
# (7.2) cannot start Wine, the one in bookworm-backports can.
if ! runs_wine; then
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
  runs_wine
fi
