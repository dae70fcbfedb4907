# apt-get, tried again when the registry fails: while a registry is being
# synchronised it serves, for a while, files that do not match its index
# ("Mirror sync in progress?"). Sourced by tools/setup-machine.sh.
#   apt_get ARGS...      apt-get ARGS, up to CALC_APT_TRIES times (default 5),
#                        CALC_APT_PAUSE seconds apart at first (default 15),
#                        twice as long after each failed try
#   apt_failures         after a final failure: what failed, one item a line
#   registry_fault_message ITEMS   the message that names them

# Runs apt-get with ARGS until it succeeds; 1, with apt_failures set, when no try did.
apt_get() {
  local tries=${CALC_APT_TRIES:-5} pause=${CALC_APT_PAUSE:-15} try log status
  log=$(mktemp)
  for ((try = 1; ; try++)); do
    status=0
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=120 "$@" </dev/null >"$log" 2>&1 ||
      status=$?
    cat "$log"
    if [ "$status" -eq 0 ]; then
      rm -f "$log"
      return 0
    fi
    [ "$try" -lt "$tries" ] || break
    echo "setup-machine: apt-get $1 failed (try $try of $tries); trying again in $pause s" >&2
    sleep "$pause"
    pause=$((pause * 2))
  done
  apt_failures=$(apt_failed_items <"$log")
  rm -f "$log"
  return 1
}

# Reads apt-get's output and prints each index, package or file it failed
# on, a line each: "index: …", "package: …", "file: …", or "unmet dependencies: …".
apt_failed_items() {
  sed -n -E \
    -e 's/^Err:[0-9]+ ([^ ]+) (.+)$/index: \2 (\1)/p' \
    -e 's/^E: Unable to locate package (.+)$/package: \1/p' \
    -e "s/^E: Package '(.+)' has no installation candidate$/package: \1/p" \
    -e 's/^ ([^ ]+) : Depends: .*$/unmet dependencies: \1/p' \
    -e 's/^E: Failed to fetch ([^ ]+\.deb) .*$/file: \1/p' |
    awk '!seen[$0]++'
}

# The one message for a registry's fault: what failed (ITEMS, as
# apt_failed_items prints them; the names of a kind on one line), and what to do.
registry_fault_message() {
  echo "setup-machine: the package registry reported a fault, which apt-get tried again in vain:"
  printf '%s\n' "$1" | awk -F': ' 'NF > 1 {
      kind = $1; sub(/^[^:]*: /, "")
      if (kind in names) names[kind] = names[kind] ", " $0
      else { order[++kinds] = kind; names[kind] = $0 }
    }
    END {
      if (!kinds) print "  (what apt-get printed above)"
      for (k = 1; k <= kinds; k++) print "  " order[k] ": " names[order[k]]
    }'
  echo "setup-machine: registries do this for a while when they are being synchronised, and"
  echo "setup-machine: nothing was changed by hand for it. Run the same command again later."
}
