#!/usr/bin/env bash
# tools/apt-retry.sh against a stand-in apt-get that fails as a registry does
# in the middle of a sync, or with an index that stays stale; and its reader
# of the machine's sources on sample files. Needs no root, dpkg or /etc/apt.
#   bash apt_retry_test.sh tools/apt-retry.sh
set -uo pipefail
source "$1"
export CALC_APT_TRIES=3 CALC_APT_PAUSE=0
stand_in=$(mktemp -d)
trap 'rm -rf "$stand_in"' EXIT
export PATH="$stand_in:$PATH" CALLS="$stand_in/calls"

# The stand-in logs each call's arguments to $CALLS. Its first FAILURES calls
# of the kind KIND (update or install) fail with OUTPUT (a file); other
# calls succeed. An install given "-t $TARGET" always succeeds.
cat >"$stand_in/apt-get" <<'STAND_IN'
#!/usr/bin/env bash
kind=other target=
for ((i = 1; i <= $#; i++)); do
  case ${!i} in
  update) kind=update ;;
  install) kind=install ;;
  -t) j=$((i + 1)); target=${!j} ;;
  esac
done
echo "$kind${target:+ -t $target}" >>"$CALLS"
succeed() { echo "Reading package lists... Done"; exit 0; }
[ "$kind" = install ] && [ -n "${TARGET:-}" ] && [ "$target" = "$TARGET" ] && succeed
[ "$kind" = "$KIND" ] || succeed
[ "$(grep -c "^$kind" "$CALLS")" -gt "$FAILURES" ] && succeed
cat "$OUTPUT"
exit 100
STAND_IN
chmod +x "$stand_in/apt-get"

status=0
fail() {
  echo "FAILED $*"
  status=1
}

sync='Err:6 http://mirror.example/debian-security bookworm-security/main i386 Packages
  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]
E: Failed to fetch http://mirror.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?
E: Some index files failed to download. They have been ignored, or old ones used instead.
'
index='index: bookworm-security/main i386 Packages (http://mirror.example/debian-security)'
missing='E: Unable to locate package wine32:i386
'
held='The following packages have unmet dependencies:
 wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed
 libdw1:i386 : Depends: zlib1g:i386 (>= 1:1.1.4) but it is not going to be installed
E: Unable to correct problems, you have held broken packages.
'
deb='E: Failed to fetch http://mirror.example/debian/pool/main/w/wine/wine_8.0~repack-4_all.deb  Hash Sum mismatch
'
file='file: http://mirror.example/debian/pool/main/w/wine/wine_8.0~repack-4_all.deb'

# check NAME FAILURES OUTPUT EXPECTED_STATUS EXPECTED_CALLS EXPECTED_FAILURES [LASTING]
# apt_get update, with apt_lasting set to LASTING.
check() {
  local name=$1 returned=0 calls
  printf '%s' "$3" >"$stand_in/output"
  rm -f "$CALLS"
  apt_failures=
  KIND=update FAILURES=$2 OUTPUT="$stand_in/output" apt_lasting=${7:-} \
    apt_get update >/dev/null 2>&1 || returned=$?
  calls=$(grep -c . "$CALLS")
  if [ "$returned" != "$4" ] || [ "$calls" != "$5" ] || [ "$apt_failures" != "$6" ]; then
    fail "$name: returned $returned after $calls calls, failures '$apt_failures';" \
      "expected $4 after $5, '$6'"
  else
    echo "ok $name"
  fi
}

check "works at once" 0 "$sync" 0 1 ""
check "a sync that ends during the tries" 2 "$sync" 0 3 ""
check "a sync that outlasts the tries" 9 "$sync" 1 3 "$index"
check "a package the index lacks" 9 "$missing" 1 3 "package: wine32:i386"
check "dependencies that cannot be met" 9 "$held" 1 3 "unmet dependencies: wine32:i386
unmet dependencies: libdw1:i386"
check "a package file that does not match" 9 "$deb" 1 3 "$file"
check "an index that failed before is not waited for again" 9 "$sync" 1 1 "$index" "$index"
check "a new failure beside the known one is tried again" 9 "$sync$deb" 1 3 "$index
$file" "$index"
check "lasting kinds are not tried again" 9 "$held" 1 1 "unmet dependencies: wine32:i386
unmet dependencies: libdw1:i386" $'package: \nunmet dependencies: '
check "a kind does not cover another" 9 "$deb" 1 3 "$file" $'package: \nunmet dependencies: '
# The time left, not the count of tries, stops a long sync.
apt_retry_until=$((SECONDS - 1)) check "no time left for another try" 9 "$sync" 1 1 "$index"
apt_retry_until=$((SECONDS + 600)) check "time left for every try" 9 "$sync" 1 3 "$index"

# install_row NAME STALE KIND FAILURES OUTPUT TARGET EXPECTED_STATUS EXPECTED_CALLS [WORDS...]
# install_from_release STALE wine32:i386; the calls as the stand-in logs
# them, one per line joined by "|"; each of WORDS must be in what it printed.
printf 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\nVERSION_CODENAME=bookworm\n' \
  >"$stand_in/os-release"
os_release=$stand_in/os-release
install_row() {
  local name=$1 returned=0 calls printed words
  printf '%s' "$5" >"$stand_in/output"
  rm -f "$CALLS"
  printed=$(KIND=$3 FAILURES=$4 OUTPUT="$stand_in/output" TARGET=$6 \
    install_from_release "$2" wine32:i386 2>&1) || returned=$?
  calls=$(paste -sd '|' "$CALLS")
  if [ "$returned" != "$7" ] || [ "$calls" != "$8" ]; then
    fail "$name: returned $returned after '$calls'; expected $7 after '$8'"
    return
  fi
  for words in "${@:9}"; do
    [[ "$printed" == *"$words"* ]] || { fail "$name: '$printed' lacks '$words'"; return; }
  done
  echo "ok $name"
}

point_release="the index bookworm-security/main i386 Packages (http://mirror.example/debian-security) could not be refreshed, so these packages come from the bookworm point release"
install_row "a stale index: the point release, at once" "$index" install 9 "$held" bookworm \
  0 "install|install -t bookworm" "$point_release"
install_row "a stale index: a missing package, the same" "$index" install 9 "$missing" bookworm \
  0 "install|install -t bookworm" "$point_release"
install_row "a stale index: a download that heals is tried again" "$index" install 2 "$deb" "" \
  0 "install|install|install"
install_row "every index fresh: no target, tried as before" "" install 9 "$held" bookworm \
  1 "install|install|install" "unmet dependencies: wine32:i386, libdw1:i386"
install_row "every index fresh: works at once" "" install 0 "" "" 0 "install"
install_row "a stale index: the point release fails too" "$index" install 9 "$held" "" \
  1 "install|install -t bookworm|install -t bookworm|install -t bookworm" "$point_release" \
  "reported a fault" "  $index" "  unmet dependencies: wine32:i386, libdw1:i386"
install_row "a stale index: a lasting failure after a download fault" "$index" install 9 "$deb$held" bookworm \
  1 "install|install|install" "  file: " "  unmet dependencies: wine32:i386"

message=$(registry_fault_message "$index
unmet dependencies: wine32:i386
unmet dependencies: libdw1:i386")
for words in "reported a fault" "  $index" "  unmet dependencies: wine32:i386, libdw1:i386" \
  "Run the same command again later."; do
  [[ "$message" == *"$words"* ]] || fail "message: '$message' lacks '$words'"
done

# uri_row NAME EXPECTED_STATUS EXPECTED_URI: debian_uri bookworm on the files
# written under $apt_dir before it.
apt_dir=$stand_in/apt
uri_row() {
  local returned=0 uri
  uri=$(debian_uri bookworm "$apt_dir" 2>/dev/null) || returned=$?
  if [ "$returned" != "$2" ] || [ "$uri" != "$3" ]; then
    fail "$1: returned $returned with '$uri'; expected $2 with '$3'"
  else
    echo "ok $1"
  fi
  rm -rf "$apt_dir"
}
sources() {  # FILE TEXT: writes TEXT to $apt_dir/FILE
  mkdir -p "$apt_dir/sources.list.d"
  printf '%s\n' "$2" >"$apt_dir/$1"
}

sources sources.list.d/debian.sources 'Types: deb
# http://snapshot.example/archive/debian-security/20250520T000000Z
URIs: http://security.example/debian-security
Suites: bookworm-security
Components: main

Types: deb
# http://snapshot.example/archive/debian/20250520T000000Z
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main'
sources sources.list.d/other.list.disabled 'deb http://disabled.example/debian bookworm main'
uri_row "deb822: the bare codename's stanza, not the commented address or security" \
  0 http://mirror.example/debian

sources sources.list '# deb http://old.example/debian bookworm main
deb http://security.example/debian-security bookworm-security main
deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://mirror.example/debian bookworm main contrib'
uri_row "one-line format, options and a commented line" 0 http://mirror.example/debian

sources sources.list.d/debian.sources 'Types: deb
URIs: http://off.example/debian
Suites: bookworm
Enabled: no

Types: deb-src
URIs: http://source.example/debian
Suites: bookworm'
sources sources.list.d/mirror.list 'deb http://mirror.example/debian bookworm main'
uri_row "disabled and source-only stanzas are passed over" 0 http://mirror.example/debian

sources sources.list.d/disabled.sources.disabled-by-hand 'Types: deb
URIs: http://disabled.example/debian
Suites: bookworm'
sources sources.list 'deb http://security.example/debian-security bookworm-security main
deb http://mirror.example/debian bookworm-updates main'
uri_row "no source names the codename itself" 1 ""

exit $status
