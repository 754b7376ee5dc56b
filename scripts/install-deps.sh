#!/usr/bin/env bash
# Installs what Vantrel needs to build, test, benchmark, fuzz and package
# (cpack's DEB generator runs dpkg-shlibdeps and file) on a Debian 12
# machine. Run as root; safe to run again (it only installs what is missing).
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libicu-dev
  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils
  clang libclang-rt-14-dev
  dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "All build and test packages are installed."
fi
