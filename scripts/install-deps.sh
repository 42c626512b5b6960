#!/usr/bin/env bash
# Installs the Debian packages Corvina needs ("run") or its tests need ("test"),
# only those that are missing.
set -euo pipefail
what="${1:-run}"
packages=(cmake g++ pkg-config qt6-base-dev libqt6sql6-sqlite libqt6sql6-odbc unixodbc unixodbc-dev
          odbc-postgresql tdsodbc mdbtools mdbtools-dev libx11-dev libgl1-mesa-dev fonts-noto-cjk ccache
          qt6-translations-l10n libqt6svg6 libsqlite3-dev)
if [ "$what" = test ]; then
  # dpkg-dev and lintian: the Debian package that test.sh builds and checks;
  # openbox: a window manager for looking at the windows under Xvfb.
  packages+=(googletest libgtest-dev xvfb xauth x11-utils imagemagick postgresql dpkg-dev lintian openbox)
  # The Access writer's tests cross-check with the npm package mdb-reader
  # (they install it into the build folder themselves).
  command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# Connection strings name the driver "SQL Server": register it as FreeTDS once.
if ! odbcinst -q -d -n "SQL Server" >/dev/null 2>&1; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" odbcinst -i -d -f "$(cd "$(dirname "$0")/.." && pwd)/resources/odbcinst-corvina.ini" >/dev/null
fi
