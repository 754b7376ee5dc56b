#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds the example host
# against it twice: with pkg-config and with CMake's find_package. Then runs
# both hosts on a missing script and checks what they report.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/vantrel-consumer-XXXXXX)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(ls -d "$work"/prefix/lib*/ | head -1)
test -L "$libdir/libvantrel.so" && test -L "$libdir/libvantrel.so.0" || { echo "soname links missing"; exit 1; }
test -x "$work/prefix/bin/vantrel" || { echo "host not installed"; exit 1; }

export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc -o "$work/host-pc" "$here/host.c" $(pkg-config --cflags --libs vantrel) -Wl,-rpath,"$libdir"

cmake -S "$here/cmake" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_BUILD_RPATH="$libdir" >/dev/null
cmake --build "$work/cmake-build" >/dev/null

for host in "$work/host-pc" "$work/cmake-build/host"; do
  out=$("$host" "$work/none.fdb" "$work/none.sql")
  case "$out" in
    "update failed ("*" characters of error text)"*) ;;
    *) echo "unexpected output from $host: $out"; exit 1 ;;
  esac
done

# Only the public interface is exported: the C functions, plus the member
# functions of the exception classes that C++ hosts catch.
unexpected=$(nm -D --defined-only "$libdir/libvantrel.so" | awk '$2 ~ /^[TW]$/ {print $3}' | sed 's/@.*//' | c++filt |
  grep -v -E '^(CheckDBVersion|UpdateDB|CheckDBVersionEx|UpdateDBEx|CheckDBVersionWithParams|UpdateDBWithParams|Vantrel[A-Za-z]+)$' |
  grep -v -E '^vantrel::(Exception|E[A-Z][A-Za-z]*)::' || true)
if [ -n "$unexpected" ]; then
  echo "unexpected exported symbols:"; echo "$unexpected" | head -20; exit 1
fi
echo "consumer hosts built and ran"
