#!/usr/bin/env bash
# Prepares a Debian 12 machine to build and test every preset: the packages,
# the i386 architecture Wine needs, and qemu's user-mode emulator, which runs
# the shipped DLL on an emulated Pentium III (a processor without SSE2) and,
# where 32-bit x86 programs cannot run natively, runs every Wine program.
#   tools/setup-machine.sh          as root: install whatever is missing
#   tools/setup-machine.sh --check  list what is missing; fails if anything is
# A registry's passing fault is tried again a few times, and an index that
# stays stale makes the install take the point release (tools/apt-retry.sh).
set -euo pipefail
source "$(dirname "$0")/apt-retry.sh"

packages=(cmake ninja-build g++ clang libgtest-dev googletest libbenchmark-dev locales
  libclang-rt-14-dev libmuparser-dev libedit-dev
  g++-mingw-w64-i686 zip wine wine32:i386 fonts-wine xvfb xauth imagemagick x11-utils)
# Debian 12's qemu (7.2) cannot start Wine; the one in bookworm-backports can.
qemu_package=qemu-user-static
qemu_suite=bookworm-backports
qemu_oldest=1:8

has_i386() { dpkg --print-foreign-architectures | grep -qx i386; }
missing_packages() {
  for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || echo "$package"
  done
}
has_qemu() {
  local version
  version=$(dpkg-query -W -f='${Version}' "$qemu_package" 2>/dev/null) &&
    dpkg --compare-versions "$version" ge "$qemu_oldest"
}
runs_wine() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

if [ "${1:-}" = --check ]; then
  status=0
  has_i386 || { echo "setup-machine: the i386 architecture is not enabled" >&2; status=1; }
  missing=$(missing_packages | tr '\n' ' ')
  [ -z "$missing" ] || { echo "setup-machine: missing packages: $missing" >&2; status=1; }
  has_qemu || { echo "setup-machine: missing $qemu_package from $qemu_suite" >&2; status=1; }
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

# The indexes are refreshed once, with retries for at most about a minute in
# all; an index that still cannot be refreshed is left as apt left it (the one
# before, or none) and listed in $stale, and the installs go on from the rest.
update_seconds=60
update_until=
stale=
refresh_indexes() {
  update_until=${update_until:-$((SECONDS + update_seconds))}
  if apt_retry_until=$update_until apt_get update -q; then
    stale=
    return 0
  fi
  stale=$apt_failures
  echo "setup-machine: could not refresh: $(join_items "$stale");" \
    "installing from the indexes at hand" >&2
}

has_i386 || dpkg --add-architecture i386
mapfile -t missing < <(missing_packages)
if [ ${#missing[@]} -gt 0 ]; then
  refresh_indexes
  install_from_release "$stale" "${missing[@]}" || exit 1
fi

if ! has_qemu; then
  if ! grep -rqs "$qemu_suite" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    uri=$(debian_uri "$(release_codename)")
    cat >"/etc/apt/sources.list.d/$qemu_suite.sources" <<SOURCES
Types: deb
URIs: $uri
Suites: $qemu_suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    # Only the new source needs reading: an index that failed before is not
    # waited for again, and a new failure has what is left of the minute.
    apt_lasting=$stale refresh_indexes
  elif [ ${#missing[@]} -eq 0 ]; then
    refresh_indexes
  fi
  if ! apt_get install -y -q -t "$qemu_suite" "$qemu_package"; then
    registry_fault_message "$(printf '%s\n%s\n' "$stale" "$apt_failures")" >&2
    exit 1
  fi
fi

# Wine's loader is a 32-bit x86 program. Some virtual machines cannot run
# those natively; there every 32-bit program is routed through qemu.
if ! runs_wine; then
  [ -e /proc/sys/fs/binfmt_misc/register ] ||
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  # A registration made before an upgrade keeps the old emulator open.
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FPC' \
    >/proc/sys/fs/binfmt_misc/register
  runs_wine
fi
