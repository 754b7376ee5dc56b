#!/usr/bin/env bash
# Builds the script parser's fuzz target (clang, libFuzzer) and runs it for
# a bounded time (60 seconds by default) from the checked-in seed corpus.
# New inputs go to a temporary folder, so the checked-in corpus is left as
# it is. A crash, a sanitizer report or a hang fails the run; libFuzzer
# writes the input that did it to build/fuzz/findings.
#
#   scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/build.sh fuzz
findings=build/fuzz/findings
mkdir -p "$findings"
work=$(mktemp -d /tmp/vantrel-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
build/fuzz/fuzz/vantrel_fuzz_parser -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
  -artifact_prefix="$findings/" -print_final_stats=1 "$work" fuzz/corpus
echo "fuzz: the script parser ran ${seconds} s without a finding"
