# apt-get, tried again when the registry fails: while a registry is being
# synchronised it serves, for a while, files that do not match its index
# ("Mirror sync in progress?"). Sourced by tools/setup-machine.sh.
#   apt_get ARGS...      apt-get ARGS, up to CALC_APT_TRIES times (default 5),
#                        CALC_APT_PAUSE seconds apart at first (default 15),
#                        twice as long after each failed try
#   apt_retry_until      when set: no try starts after this value of $SECONDS
#   apt_lasting          lines of failures that do not pass; a failure made of
#                        these alone is not tried again (see apt_is_lasting)
#   apt_failures         after a final failure: what failed, one item a line
#   install_from_release STALE PACKAGES...   install, falling back on the point release
#   join_items ITEMS     the lines of ITEMS on one line
#   debian_uri CODENAME [APT_DIR]            the URI of the Debian source for CODENAME
#   registry_fault_message ITEMS   the message that names them

# Where the system names its release; the tests point it elsewhere.
os_release=${os_release:-/etc/os-release}

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
      apt_failures=
      rm -f "$log"
      return 0
    fi
    apt_failures=$(apt_failed_items <"$log")
    [ "$try" -lt "$tries" ] || break
    apt_is_lasting "$apt_failures" && break
    if [ -n "${apt_retry_until:-}" ] && ((SECONDS + pause > apt_retry_until)); then
      echo "setup-machine: apt-get $1 failed; no time is left to try it again" >&2
      break
    fi
    echo "setup-machine: apt-get $1 failed (try $try of $tries); trying again in $pause s" >&2
    sleep "$pause"
    pause=$((pause * 2))
  done
  rm -f "$log"
  return 1
}

# True when ITEMS (as apt_failed_items prints them) are not empty and each
# equals a line of apt_lasting or starts with one that ends in ": " (a kind).
apt_is_lasting() {
  [ -n "$1" ] && [ -n "${apt_lasting:-}" ] || return 1
  printf '%s\n' "$1" | awk -v lasting="$apt_lasting" '
    BEGIN { count = split(lasting, known, "\n") }
    {
      for (k = 1; k <= count; k++)
        if ($0 == known[k] || (known[k] ~ /: $/ && index($0, known[k]) == 1)) next
      exit 1
    }'
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

# ITEMS (one a line) on one line, joined by "; ".
join_items() {
  printf '%s\n' "$1" | paste -sd ';' - | sed 's/;/; /g'
}

# The codename of the system's own release (bookworm), from os_release; empty if it names none.
release_codename() {
  (. "$os_release" 2>/dev/null && printf '%s\n' "${VERSION_CODENAME:-}")
}

# Installs PACKAGES. STALE lists the indexes that could not be refreshed
# (empty: none). With an index stale, an install that fails on a missing
# package or unmet dependencies is not tried again but, at once, once more
# with the point release as its target, whose packages agree across
# architectures; apt never downgrades for that. 1, after the message, when
# that fails too.
install_from_release() {
  local stale=$1 lasting=$'package: \nunmet dependencies: ' first codename
  shift
  if [ -z "$stale" ]; then
    apt_get install -y -q "$@" && return 0
    registry_fault_message "$apt_failures" >&2
    return 1
  fi
  apt_lasting=$lasting apt_get install -y -q "$@" && return 0
  first=$apt_failures
  codename=$(release_codename)
  if apt_lasting=$lasting apt_is_lasting "$first" && [ -n "$codename" ]; then
    echo "setup-machine: the index $(join_items "${stale//index: /}") could not be refreshed," \
      "so these packages come from the $codename point release" >&2
    apt_get install -y -q -t "$codename" "$@" && return 0
    first=$(printf '%s\n%s\n' "$first" "$apt_failures")
  fi
  registry_fault_message "$(printf '%s\n%s\n' "$stale" "$first")" >&2
  return 1
}

# Prints the URI of the Debian source whose suites hold CODENAME itself (not
# its security or updates suites), read from APT_DIR (default /etc/apt):
# sources.list and sources.list.d's *.list and *.sources files, comments
# skipped, disabled stanzas and files of other names left out. 1, with a
# message, when no source names CODENAME.
debian_uri() {
  local codename=$1 dir=${2:-/etc/apt} file uri=
  local -a files=()
  [ -f "$dir/sources.list" ] && files+=("$dir/sources.list")
  for file in "$dir"/sources.list.d/*.list "$dir"/sources.list.d/*.sources; do
    [ -f "$file" ] && files+=("$file")
  done
  for file in "${files[@]}"; do
    case $file in
    *.sources) uri=$(deb822_uri "$codename" <"$file") ;;
    *) uri=$(one_line_uri "$codename" <"$file") ;;
    esac
    [ -z "$uri" ] || break
  done
  if [ -z "$uri" ]; then
    echo "setup-machine: no source in $dir lists the suite $codename; cannot tell which mirror to use" >&2
    return 1
  fi
  printf '%s\n' "$uri"
}

# The first URI of the first enabled "deb" stanza on standard input (deb822)
# whose suites hold CODENAME.
deb822_uri() {
  awk -v codename="$1" '
    function stanza_end() {
      if (!found && types ~ /(^| )deb( |$)/ && enabled != "no" && uri != "" &&
          (" " suites " ") ~ (" " codename " "))
        found = uri
      types = suites = uri = enabled = ""
    }
    /^[ \t]*#/ { next }
    /^[ \t]*$/ { stanza_end(); next }
    {
      field = tolower($1); sub(/:$/, "", field)
      value = $0; sub(/^[^:]*:[ \t]*/, "", value); sub(/[ \t]+$/, "", value)
      if (field == "types") types = value
      else if (field == "suites") suites = value
      else if (field == "enabled") enabled = tolower(value)
      else if (field == "uris") { split(value, uris, /[ \t]+/); uri = uris[1] }
    }
    END { stanza_end(); if (found != "") print found }'
}

# The URI of the first "deb" line on standard input (one-line format) whose suite is CODENAME.
one_line_uri() {
  awk -v codename="$1" '
    { sub(/#.*/, "") }
    $1 == "deb" {
      line = $0; sub(/^[ \t]*deb[ \t]+/, "", line); sub(/^\[[^]]*\][ \t]*/, "", line)
      split(line, words, /[ \t]+/)
      if (words[2] == codename) { print words[1]; exit }
    }'
}

# The one message for a registry's fault: what failed (ITEMS, as
# apt_failed_items prints them; the names of a kind on one line), and what to do.
registry_fault_message() {
  echo "setup-machine: the package registry reported a fault, which apt-get tried again in vain:"
  printf '%s\n' "$1" | awk -F': ' 'NF > 1 && !seen[$0]++ {
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
