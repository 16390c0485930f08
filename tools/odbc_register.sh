#!/usr/bin/env bash
# odbc_register.sh BUILD_DIR: writes a private odbcinst.ini and odbc.ini in
# BUILD_DIR/odbc that register the driver built there (never touches /etc).
set -euo pipefail
build=$(cd "$1" && pwd)
ini="$build/odbc"
mkdir -p "$ini"
cat > "$ini/odbcinst.ini" <<INI
[ODBC]
Trace = No

[Corvane PAYPAL ODBC Driver]
Description = PayPal REST API as a relational database
Driver = $build/libcvconnect.so
Setup = $build/libcvsetup.so
TraceFile = $ini/trace.log
UsageCount = 1
INI
cat > "$ini/odbc.ini" <<INI
[CVPAYPAL]
Driver = Corvane PAYPAL ODBC Driver
Description = PayPal emulator on loopback
INI
echo "registered $build/libcvconnect.so in $ini"
