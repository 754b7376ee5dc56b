#!/usr/bin/env bash
# Installs what is missing, starts a local Firebird server for the server
# tests, builds the release and the sanitizer configurations and runs every
# test in both (Debian 12, Firebird 3); then the same build and tests in the
# Debian 13 tree with Firebird 4 and GCC 14, and this machine's client
# against that tree's Firebird 4 server (scripts/debian13.sh). Run as root.
# The last lines are ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/firebird-server.sh start
export VANTREL_REQUIRE_SERVER=1
# The package test installs the Debian package into /usr and removes it
# again; it runs only when asked for.
export VANTREL_TEST_PACKAGE=1

status=0
for preset in release asan; do
  echo "=== building $preset ==="
  scripts/build.sh "$preset"
done
for preset in release asan; do
  echo "=== testing $preset ==="
  if ! ctest --preset "$preset" -j2; then
    status=1
  fi
done
echo "=== Debian 13, Firebird 4 ==="
if ! scripts/debian13.sh test; then
  status=1
fi
exit $status
