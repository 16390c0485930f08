#!/usr/bin/env bash
# setup_screenshot.sh BUILD_DIR [OUT.png]: opens the data-source dialog on a
# virtual X server (xvfb-run) with example values and saves a picture of it
# (docs/setup_dialog.png by default). Needs the build's config_dsn_tool and
# dialog_robot test targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
out=$(realpath -m "${2:-$root/docs/setup_dialog.png}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/odbcinst.ini" <<INI
[Corvane PAYPAL ODBC Driver]
Driver = $build/libcvconnect.so
Setup = $build/libcvsetup.so
INI
printf 'shot %s\npress &Cancel\n' "$out" > "$work/script"
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY ODBCSYSINI="$work" ODBCINI="$work/odbc.ini" HOME="$work" \
  xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/tests/setup/config_dsn_tool" --window --robot "$build/tests/setup/libdialog_robot.so" "$work/script" \
  1 "Corvane PAYPAL ODBC Driver" DSN=PayPal "Description=PayPal live account" Client_Id=AdT3xampleClientId \
  Client_Secret=example-secret Proxy=http://proxy.example.com:3128 Proxy_User=alice Proxy_Pass=example \
  Logfile=/var/log/cvpaypal.log Query_Timeout=60 Max_Num=20 Filter_Local=1
echo "saved $out"
