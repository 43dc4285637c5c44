#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those still missing.
set -euo pipefail
packages=(g++ make cmake pkg-config libssl-dev libcurl4-openssl-dev nlohmann-json3-dev libsqlite3-dev
          googletest libgtest-dev libgmock-dev libicu-dev libcpp-httplib-dev
          clang libclang-rt-dev)  # clang and libFuzzer: the fuzz targets
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
