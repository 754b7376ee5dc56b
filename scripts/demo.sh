#!/usr/bin/env bash
# The main job on an embedded database: installs what is missing, builds,
# creates a demo database, applies an update script to it with
# `vantrel update --stats` and prints its schema version with `vantrel version`.
# Run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh release

vantrel=build/release/tools/vantrel
work=$(mktemp -d /tmp/vantrel-demo-XXXXXX)
db=$work/demo.fdb

# The version check reads COUNT(*) into a 32-bit field, which dialect 1
# databases deliver; so the demo database is a dialect 1 database.
"$vantrel" create "$db" --dialect 1 --charset WIN1251
"$vantrel" check scripts/demo/update-1.sql
"$vantrel" update --stats "$db" scripts/demo/update-1.sql
echo "schema version of $db:"
"$vantrel" version "$db"
