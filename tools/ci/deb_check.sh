#!/usr/bin/env bash
# deb_check.sh [BUILD_DIR]: the Debian package as a user meets it. Packages
# the driver and the setup library of a built tree (default: build, the
# normal tree test_all.sh has just built and tested; nothing is compiled
# again) with CPack, installs the .deb with `apt-get install ./file.deb`,
# checks that unixODBC lists the driver and that isql connects to the PayPal
# emulator through a DSN naming the driver by its registered name, then
# removes the package and checks that the registration and the files are gone.
# Changes the system (/usr, /etc/odbcinst.ini): meant for CI machines and
# containers; run as root or with sudo available.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
name="Corvane PAYPAL ODBC Driver"
package=cvconnect
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
# The system's unixODBC configuration, not a private one from the caller.
unset ODBCSYSINI ODBCINSTINI ODBCINI

# What a package may be made from: a tree that installs under /usr, built
# without sanitizers (their runtimes are no dependency of the package).
cache=$build/CMakeCache.txt
[ -f "$cache" ] || { echo "$build is not a configured build tree"; exit 1; }
setting() { sed -n "s/^$1:[A-Z]*=//p" "$cache"; }
[ "$(setting CMAKE_INSTALL_PREFIX)" = /usr ] || { echo "$build installs under $(setting CMAKE_INSTALL_PREFIX), not /usr"; exit 1; }
for option in CV_SANITIZE CV_TSAN CV_FUZZ; do
  case $(setting $option) in ON|on|1|TRUE|true|YES|yes) echo "$build is built with $option: no package from it"; exit 1 ;; esac
done
# Up to date already after the tree's own build; this only checks it.
ninja -C "$build" cvdriver cvsetup > /dev/null
rm -f "$build"/${package}_*.deb
(cd "$build" && cpack -G DEB > cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
deb=$(ls "$build"/${package}_*.deb)
echo "--- built $(basename "$deb")"
dpkg-deb --info "$deb" | sed -n 's/^ \(Depends\|Package\|Version\):/\1:/p'
# The tree also holds tests, tools and benchmarks: none of them may be packaged.
libdir=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort)
want=$(printf '%s\n' "./usr/lib/$libdir/odbc/libcvconnect.so" "./usr/lib/$libdir/odbc/libcvsetup.so" \
         "./usr/share/cvconnect/odbcinst.ini.template" "./usr/share/doc/cvconnect/README.md" | sort)
[ "$files" = "$want" ] || { echo "the package holds other files than the driver's:"; diff <(echo "$want") <(echo "$files"); exit 1; }

work=$(mktemp -d)
cleanup() {
  [ -n "${EMU_PID:-}" ] && kill "$EMU_PID" 2>/dev/null || true
  if dpkg-query -W -f='${Status}' $package 2>/dev/null | grep -q "ok installed"; then
    $SUDO apt-get remove -y -qq $package > /dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
# A package left over from an interrupted run would hide a broken install.
dpkg-query -W $package > /dev/null 2>&1 && $SUDO apt-get remove -y -qq $package > /dev/null

echo "--- apt-get install ./$(basename "$deb")"
(cd "$build" && $SUDO apt-get install -y -qq "./$(basename "$deb")" > "$work/install.log" 2>&1) || { cat "$work/install.log"; exit 1; }
odbcinst -q -d | grep -Fx "[$name]" || { echo "odbcinst -q -d does not list the driver"; odbcinst -q -d; exit 1; }
odbcinst -q -d -n "$name"
for f in libcvconnect.so libcvsetup.so; do
  [ -f "/usr/lib/$libdir/odbc/$f" ] || { echo "missing /usr/lib/$libdir/odbc/$f"; exit 1; }
done

echo "--- isql through a DSN naming the registered driver"
coproc EMU { exec python3 "$root/tools/emulator/paypal_emulator.py" --state-dir "$work/emu" --exit-on-eof \
               --client-id deb-client --client-secret deb-secret; }
port="" ca=""
while read -r key value <&"${EMU[0]}"; do
  case $key in PORT) port=$value ;; CA) ca=$value ;; READY) break ;; esac
done
[ -n "$port" ] || { echo "emulator did not start"; exit 1; }
cat > "$work/odbc.ini" <<INI
[CVDEB]
Driver = $name
client_id = deb-client
client_secret = deb-secret
base_url = https://127.0.0.1:$port
cert = $ca
INI
echo "SELECT 1" | ODBCINI="$work/odbc.ini" isql -v CVDEB > "$work/isql.out" 2>&1 || true
grep -q "Connected!" "$work/isql.out" || { echo "isql did not connect:"; cat "$work/isql.out"; exit 1; }
echo "isql connected"

echo "--- apt-get remove $package"
$SUDO apt-get remove -y -qq $package > "$work/remove.log" 2>&1 || { cat "$work/remove.log"; exit 1; }
if odbcinst -q -d 2>/dev/null | grep -Fqx "[$name]"; then echo "the driver is still registered"; exit 1; fi
for f in libcvconnect.so libcvsetup.so; do
  [ ! -e "/usr/lib/$libdir/odbc/$f" ] || { echo "/usr/lib/$libdir/odbc/$f is left behind"; exit 1; }
done
echo "deb check passed: installs, registers, connects, removes cleanly"
