#!/usr/bin/env bash
# The main job: build the driver, register it with unixODBC in a private ini
# under build/odbc, start the PayPal emulator on 127.0.0.1, and run SELECTs
# through isql against a data source that points at it, showing their rows.
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
cat > build/odbc/main_job.sql <<'SQL'
SELECT Id, Name, Status, CreateTime FROM Plans WHERE Status = 'ACTIVE'
SELECT Id, State, CreateTime FROM Payments WHERE StartTime >= {ts '2024-01-01 00:00:00'} AND EndTime <= {ts '2025-01-01 00:00:00'}
SELECT DisputeId, Reason, DisputeAmountValue FROM Disputes WHERE StartTime >= {ts '2000-01-01 00:00:00'}
SQL
isql -v -b CVPAYPAL < build/odbc/main_job.sql 2>&1 | tee build/odbc/isql.out
grep -q "P-5000ABCDEF00" build/odbc/isql.out || { echo "isql did not show the plans"; exit 1; }
grep -q "rows fetched" build/odbc/isql.out || { echo "isql fetched no rows"; exit 1; }
echo "--- rows fetched through unixODBC from the emulator's PayPal endpoints"
