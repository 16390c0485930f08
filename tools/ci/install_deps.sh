#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with.
# Does nothing when they are all present already.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git clang libclang-rt-14-dev lld
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev openssl zlib1g-dev libjansson-dev libsimdjson-dev
  unixodbc unixodbc-dev odbcinst python3 python3-pyodbc
  bison sqlite3 libsqlite3-dev curl libcurl4-openssl-dev
  qtbase5-dev xvfb xauth fonts-dejavu-core dpkg-dev
  # real clients of the catalogue calls: Qt's ODBC plug-in and LibreOffice Base
  libqt5sql5-odbc
  libreoffice-core-nogui libreoffice-base-core libreoffice-base-drivers python3-uno
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
