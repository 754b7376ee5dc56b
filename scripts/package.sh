#!/usr/bin/env bash
# Builds the release configuration and its Debian package; the .deb lands in
# the folder given (build/release by default) and its path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/release}
scripts/build.sh release >/dev/null
mkdir -p "$out"
out=$(cd "$out" && pwd)
cpack --config build/release/CPackConfig.cmake -B "$out" >/dev/null
rm -rf "$out/_CPack_Packages"
ls "$out"/vantrel_*.deb
