#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
pkgs=(build-essential cmake ccache pkg-config qt6-base-dev libpq-dev libxlsxwriter-dev zlib1g-dev
      postgresql postgresql-client openssl python3 python3-openpyxl libgl-dev xvfb)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
