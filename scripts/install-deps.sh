#!/usr/bin/env bash
# Installs what Vantrel needs to build, test, benchmark, fuzz and package
# (cpack's DEB generator runs dpkg-shlibdeps and file) on a Debian 12
# machine with Firebird 3, or in the Debian 13 tree with Firebird 4 (see
# scripts/debian13.sh). Run as root; safe to run again (it only installs what
# is missing). The tests also want a C compiler (the consumer and package
# tests build C hosts) and `script`, whose terminal the progress line is
# tested on.
set -euo pipefail

# shellcheck source=/dev/null
debian=$(. /etc/os-release && echo "${VERSION_ID:-12}")
packages=(
  g++ gcc cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libicu-dev
  firebird-dev libfbclient2
  dpkg-dev file util-linux
  jq
)
if ((debian >= 13)); then
  # The fuzz target (clang) is built on Debian 12 only.
  packages+=(firebird4.0-server-core firebird4.0-utils)
else
  packages+=(firebird3.0-server-core firebird3.0-utils clang libclang-rt-14-dev)
fi

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
