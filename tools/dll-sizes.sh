#!/usr/bin/env bash
# Where the bytes of a DLL come from, by the linker map written beside it
# (calcplugin.dll.map): the bytes each archive or object puts into the
# sections that stay in the stripped file.
#   tools/dll-sizes.sh [--members] build/windows-i686-release/bin/calcplugin.dll.map
# --members counts each archive member (object file) on its own.
set -euo pipefail
members=0
if [ "${1:-}" = --members ]; then members=1; shift; fi
awk -v members="$members" '
  function hex(text,   value, i) {
    value = 0
    for (i = 3; i <= length(text); ++i)
      value = value * 16 + index("0123456789abcdef", tolower(substr(text, i, 1))) - 1
    return value
  }
  /^Linker script and memory map/ { mapped = 1; next }
  !mapped { next }
  # An output section: its name at the start of the line.
  /^\.[A-Za-z_]/ { kept = ($1 !~ /^\.(bss|debug|gnu_debuglink)/); pending = ""; next }
  !kept { next }
  # An input section, its address, size and file on one line or the next.
  /^ \.[^ ]+$/ { pending = $1; next }
  {
    line = $0
    if (pending != "") { line = " " pending " " $0; pending = "" }
    n = split(line, f, " ")
    if (n < 4 || f[2] !~ /^0x/ || f[3] !~ /^0x/ || f[1] !~ /^\./) next
    size = hex(f[3])
    file = f[4]
    for (i = 5; i <= n; ++i) file = file " " f[i]
    if (!members) sub(/\(.*/, "", file)  # the archive, not its member
    sub(/.*\//, "", file)
    bytes[file] += size
    total += size
  }
  END {
    for (file in bytes) printf "%9d  %s\n", bytes[file], file
    printf "%9d  total\n", total
  }' "$1" | sort -n
