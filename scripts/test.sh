#!/usr/bin/env bash
# Installs what is missing, starts a local Firebird server for the server
# tests, builds the release and the sanitizer configurations and runs every
# test in both (Debian 12, Firebird 3), the tests about threads under the
# thread sanitizer and a bounded fuzz run of the script parser; then the same
# build and tests in the
# Debian 13 tree with Firebird 4 and GCC 14, and this machine's client
# against that tree's Firebird 4 server (scripts/debian13.sh). Run as root.
# The last line sums up every configuration in ctest's form.
set -euo pipefail
cd "$(dirname "$0")/.."

# Everything printed also goes to a log, from which the closing line sums
# up ctest's summaries of all configurations.
log=$(mktemp /tmp/vantrel-test-log.XXXXXX)
exec > >(tee "$log") 2>&1

scripts/install-deps.sh
scripts/firebird-server.sh start
export VANTREL_REQUIRE_SERVER=1
# The package test installs the Debian package into /usr and removes it
# again; it runs only when asked for.
export VANTREL_TEST_PACKAGE=1

status=0
# Each stage's heading says when it started, for whoever reads a slow run.
stage() { echo "=== $* ($(date +%T), ${SECONDS} s in) ==="; }
# tsan builds the library and the two suites whose tests are about threads
# (the others would only repeat the release run, slower).
for preset in release asan tsan; do
  stage "building $preset"
  scripts/build.sh "$preset"
done
for preset in release asan tsan; do
  stage "testing $preset"
  if ! ctest --preset "$preset" -j2; then
    status=1
  fi
done
stage "fuzzing the script parser"
if ! scripts/fuzz.sh 60; then
  status=1
fi
stage "Debian 13, Firebird 4"
if ! scripts/debian13.sh test; then
  status=1
fi

# One line for all: the sum of every ctest summary above; a configuration
# that failed without a failed test (a build, the tree) counts as one.
stage "all configurations"
grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" >"$log.summaries" || true
read -r failed total < <(awk '{ f += $4; t += $9 } END { print f + 0, t + 0 }' "$log.summaries")
if ((status != 0 && failed == 0)); then
  failed=1
  total=$((total + 1))
fi
rm -f "$log" "$log.summaries"
if ((total == 0)); then
  echo "0% tests passed, 1 tests failed out of 1"
  exit 1
fi
echo "$(((total - failed) * 100 / total))% tests passed, $failed tests failed out of $total"
exit $status
