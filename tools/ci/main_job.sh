#!/usr/bin/env bash
# The main job: build the driver, register it with unixODBC in a private ini
# under build/odbc, start the PayPal emulator on 127.0.0.1, and run SQL
# through isql against a data source that points at it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
bash tools/ci/install_deps.sh
bash tools/ci/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo

state=$root/build/emulator
mkdir -p "$state"
coproc EMU { exec python3 tools/emulator/paypal_emulator.py --state-dir "$state" --exit-on-eof \
               --client-id demo-client --client-secret demo-secret; }
port="" ca=""
while read -r key value <&"${EMU[0]}"; do
  case $key in PORT) port=$value ;; CA) ca=$value ;; READY) break ;; esac
done
[ -n "$port" ] || { echo "emulator did not start"; exit 1; }
trap 'kill "$EMU_PID" 2>/dev/null || true' EXIT

bash tools/odbc_register.sh build
cat >> build/odbc/odbc.ini <<INI
client_id = demo-client
client_secret = demo-secret
base_url = https://127.0.0.1:$port
cert = $ca
INI
export ODBCSYSINI="$root/build/odbc" ODBCINSTINI=odbcinst.ini ODBCINI="$root/build/odbc/odbc.ini"
echo "--- driver registered:"; odbcinst -q -d
echo "--- emulator on https://127.0.0.1:$port (CA $ca)"
echo "--- isql -v CVPAYPAL"
echo "SELECT 1" | isql -v CVPAYPAL 2>&1 | tee build/odbc/isql.out || true
grep -q "Connected" build/odbc/isql.out || { echo "isql did not connect"; exit 1; }
echo "--- connected: the driver obtained an access token from the emulator (statements are answered once the statement layer is built)"
