#!/usr/bin/env bash
# The main job, end to end on this machine: set up, build, start the
# reference scanner-sharing service on loopback, write a private registry
# with an enciphered identity, scan one page through wbremote.dll with the
# diagnostic log on, stop the service, and say where the results are.
# Needs no port below 1024: the service and its endpoint mapper take free
# ports, and the library is told the mapper's port through WB_EPMAP_PORT.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target wbremote scansvc scanapp wbcrypt_tool wbres >/dev/null

bin="$root/build/bin"
demo="$root/out/demo"
rm -rf "$demo"
mkdir -p "$demo/registry"
export WB_CRYPT_KEY="$demo/machine.key"
export WB_REGISTRY_DIR="$demo/registry"
password=demo-secret

"$bin/wbcrypt-tool" keygen >/dev/null
identity=$("$bin/wbcrypt-tool" encipher "127.0.0.1,$password")
cat > "$WB_REGISTRY_DIR/HKEY_LOCAL_MACHINE.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client]
"Protocol"="ncacn_ip_tcp"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client\\History]
$identity
REG

"$bin/scansvc" --address 127.0.0.1 --port 0 --epmap-port 0 --password "$password" \
  --port-file "$demo/ports" --log "$demo/scansvc.log" &
service=$!
trap 'kill "$service" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  [ -s "$demo/ports" ] && break
  sleep 0.1
done
[ -s "$demo/ports" ] || { echo "demo: the service did not start" >&2; exit 1; }
epmap_port=$(sed -n "s/^EPMAP_PORT=//p" "$demo/ports")

# Ctrl "held" while the library loads switches its log on; without an X
# display the platform reads held keys from WB_HELD_KEYS.
status=0
(cd "$demo" && env -u DISPLAY WB_HELD_KEYS=ctrl WB_EPMAP_PORT="$epmap_port" \
  "$bin/scanapp" --output "$demo/page.pnm") || status=$?

kill "$service" 2>/dev/null || true
wait "$service" 2>/dev/null || true
trap - EXIT

if [ "$status" -eq 0 ] && command -v convert >/dev/null; then
  convert "$demo/page.pnm" "$demo/page.png" && echo "demo: page image: $demo/page.png"
fi
echo "demo: page (PNM):  $demo/page.pnm"
echo "demo: library log: $demo/wbremote.log"
echo "demo: service log: $demo/scansvc.log"
exit "$status"
