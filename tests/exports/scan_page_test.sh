#!/usr/bin/env bash
# A whole page through the sample application, the library and the reference
# service on loopback, with a registry and machine key of the test's own; then
# the application's clear failures: a refusal, an unreachable service and a
# missing library.
set -uo pipefail
bin="$1"
work=$(mktemp -d /tmp/wbscan.XXXXXX)
service=""
cleanup() {
  [ -n "$service" ] && kill "$service" 2>/dev/null && wait "$service" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
passed=0
failed=0
check() {  # name, condition result
  if [ "$2" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}

export WB_CRYPT_KEY="$work/machine.key"
export WB_REGISTRY_DIR="$work/registry"
mkdir -p "$WB_REGISTRY_DIR"
"$bin/wbcrypt-tool" keygen >/dev/null || exit 1
write_hive() {  # identity
  local identity
  identity=$("$bin/wbcrypt-tool" encipher "$1") || exit 1
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client]\r\n"Protocol"="ncacn_ip_tcp"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client\\History]\r\n%s\r\n' \
    "$identity" > "$WB_REGISTRY_DIR/HKEY_LOCAL_MACHINE.reg"
}
write_hive "127.0.0.1,right"

"$bin/scansvc" --address 127.0.0.1 --port 0 --epmap-port 0 --password right \
  --port-file "$work/ports" --log "$work/scansvc.log" &
service=$!
for _ in $(seq 1 300); do [ -s "$work/ports" ] && break; sleep 0.1; done
epmap=$(sed -n 's/^EPMAP_PORT=//p' "$work/ports")
[ -n "$epmap" ] || { echo "the service did not start"; exit 1; }

run_app() {  # output file; prints the status
  (cd "$work" && env -u DISPLAY WB_HELD_KEYS=ctrl WB_EPMAP_PORT="$epmap" \
    "$bin/scanapp" --output "$1" >"$work/app.out" 2>"$work/app.err")
  echo $?
}

# A whole page.
status=$(run_app "$work/page.pnm")
check "scan exits 0 (got $status: $(cat "$work/app.err"))" "$([ "$status" -eq 0 ]; echo $?)"
header=$(head -c 2 "$work/page.pnm" 2>/dev/null)
check "page is a binary PNM" "$([ "$header" = "P6" ]; echo $?)"
read -r w h < <(sed -n '2p' "$work/page.pnm")
size=$(stat -c %s "$work/page.pnm")
check "page holds its announced pixels" "$([ "$size" -ge $((w * h * 3)) ]; echo $?)"
check "log begins with the date line" "$(head -1 "$work/wbremote.log" | grep -q ' - Date: '; echo $?)"
check "log shows the check-out" "$(grep -q 'Exit  - CheckOutScanner: [1-9]' "$work/wbremote.log"; echo $?)"
check "log shows the unload's notice" "$(grep -q 'Exit  - PreFreeLibrary' "$work/wbremote.log"; echo $?)"

# A wrong stored password: refused, a clear message, status 4.
write_hive "127.0.0.1,wrong"
status=$(run_app "$work/refused.pnm")
check "refusal exits 4 (got $status)" "$([ "$status" -eq 4 ]; echo $?)"
check "refusal is explained" "$(grep -q 'refused the check-out' "$work/app.err"; echo $?)"
check "refusal writes no page" "$([ ! -e "$work/refused.pnm" ]; echo $?)"

# The service gone: unreachable, status 3.
kill "$service"; wait "$service" 2>/dev/null; service=""
write_hive "127.0.0.1,right"
status=$(run_app "$work/none.pnm")
check "unreachable exits 3 (got $status)" "$([ "$status" -eq 3 ]; echo $?)"
check "unreachable is explained" "$(grep -q 'could not be reached' "$work/app.err"; echo $?)"

# The library missing: a copy of the application alone in a folder.
mkdir -p "$work/alone"
cp "$bin/scanapp" "$work/alone/"
(cd "$work/alone" && LD_LIBRARY_PATH= ./scanapp --output x.pnm >/dev/null 2>"$work/alone.err")
status=$?
check "missing library exits 2 (got $status)" "$([ "$status" -eq 2 ]; echo $?)"
check "missing library is explained" "$(grep -q 'cannot load wbremote.dll' "$work/alone.err"; echo $?)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
