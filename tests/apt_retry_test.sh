#!/usr/bin/env bash
# tools/apt-retry.sh against a stand-in apt-get that fails as a registry in
# the middle of a sync does, a given number of times.
#   bash apt_retry_test.sh tools/apt-retry.sh
set -uo pipefail
source "$1"
export CALC_APT_TRIES=3 CALC_APT_PAUSE=0
stand_in=$(mktemp -d)
trap 'rm -rf "$stand_in"' EXIT
export PATH="$stand_in:$PATH" CALLS="$stand_in/calls"

# The stand-in fails its first FAILURES calls with OUTPUT (a file), then succeeds.
cat >"$stand_in/apt-get" <<'STAND_IN'
#!/usr/bin/env bash
calls=$(( $(cat "$CALLS" 2>/dev/null || echo 0) + 1 ))
echo "$calls" >"$CALLS"
[ "$calls" -gt "$FAILURES" ] && { echo "Reading package lists... Done"; exit 0; }
cat "$OUTPUT"
exit 100
STAND_IN
chmod +x "$stand_in/apt-get"

status=0
# check NAME FAILURES OUTPUT EXPECTED_STATUS EXPECTED_CALLS EXPECTED_FAILURES
check() {
  local name=$1 returned=0
  printf '%s' "$3" >"$stand_in/output"
  rm -f "$CALLS"
  apt_failures=
  FAILURES=$2 OUTPUT="$stand_in/output" apt_get update >/dev/null 2>&1 || returned=$?
  local calls
  calls=$(cat "$CALLS")
  if [ "$returned" != "$4" ] || [ "$calls" != "$5" ] || [ "$apt_failures" != "$6" ]; then
    echo "FAILED $name: returned $returned after $calls calls, failures '$apt_failures';" \
      "expected $4 after $5, '$6'"
    status=1
  else
    echo "ok $name"
  fi
}

sync='Err:6 http://deb.debian.org/debian-security bookworm-security/main i386 Packages
  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]
E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?
E: Some index files failed to download. They have been ignored, or old ones used instead.
'
index='index: bookworm-security/main i386 Packages (http://deb.debian.org/debian-security)'
missing='E: Unable to locate package wine32:i386
'
held='The following packages have unmet dependencies:
 wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed
 libdw1:i386 : Depends: zlib1g:i386 (>= 1:1.1.4) but it is not going to be installed
E: Unable to correct problems, you have held broken packages.
'
deb='E: Failed to fetch http://deb.debian.org/debian/pool/main/w/wine/wine_8.0~repack-4_all.deb  Hash Sum mismatch
'

check "works at once" 0 "$sync" 0 1 ""
check "a sync that ends during the tries" 2 "$sync" 0 3 ""
check "a sync that outlasts the tries" 9 "$sync" 1 3 "$index"
check "a package the index lacks" 9 "$missing" 1 3 "package: wine32:i386"
check "dependencies that cannot be met" 9 "$held" 1 3 "unmet dependencies: wine32:i386
unmet dependencies: libdw1:i386"
check "a package file that does not match" 9 "$deb" 1 3 \
  "file: http://deb.debian.org/debian/pool/main/w/wine/wine_8.0~repack-4_all.deb"

message=$(registry_fault_message "$index
unmet dependencies: wine32:i386
unmet dependencies: libdw1:i386")
for words in "reported a fault" "  $index" "  unmet dependencies: wine32:i386, libdw1:i386" \
  "Run the same command again later."; do
  if [[ "$message" != *"$words"* ]]; then
    echo "FAILED message: '$message' lacks '$words'"
    status=1
  fi
done
exit $status
