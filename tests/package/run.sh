#!/usr/bin/env bash
# The Debian package on this machine: builds it from the build folder,
# installs it with dpkg -i, builds the README's C host against the installed
# files (pkg-config) and a CMake host (find_package), runs the host on an
# embedded database, and removes the package again (purge).
#
# It runs only when asked for with VANTREL_TEST_PACKAGE=1 (scripts/test.sh
# asks; exit 77, skipped, otherwise), so that ctest run as root does not
# install into /usr unasked.
#
# It changes the machine only between install and purge, and makes sure
# that it can always undo it: it needs root (exit 77, skipped, otherwise);
# one run at a time holds a lock; it touches nothing it did not put there
# (a vantrel package or any of its files already present makes it skip);
# a marker file records an installation in progress, so that a run killed
# midway is purged by the next run, and any other failure purges at exit.
set -euo pipefail
build=$1
source_dir=$2
marker=/var/tmp/vantrel-package-test.installed

if [ "${VANTREL_TEST_PACKAGE:-}" != 1 ]; then
  echo "skipped: installs into /usr only when asked for (VANTREL_TEST_PACKAGE=1, as scripts/test.sh sets)"
  exit 77
fi
if [ "$(id -u)" != 0 ]; then
  echo "skipped: installing a package needs root"
  exit 77
fi

exec 9>/tmp/vantrel-package-test.lock
flock 9

# Under the lock no other run is alive: work folders still there are left
# by killed runs.
rm -rf /tmp/vantrel-package-work-*
work=$(mktemp -d /tmp/vantrel-package-work-XXXXXX)

# dpkg refuses at once while apt or another dpkg holds its lock; wait for
# the lock (up to five minutes) rather than fail.
run_dpkg() {
  local out
  for _ in $(seq 150); do
    if out=$(dpkg "$@" 2>&1); then return 0; fi
    case "$out" in
      *lock*) sleep 2 ;;
      *) echo "$out" >&2; return 1 ;;
    esac
  done
  echo "$out" >&2
  return 1
}

package_state() { dpkg-query -W -f='${db:Status-Status}' vantrel 2>/dev/null || true; }

cleanup() {
  if [ -e "$marker" ]; then
    if run_dpkg --purge vantrel >/dev/null; then rm -f "$marker"; else echo "could not purge vantrel" >&2; fi
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() { echo "FAILED: $*" >&2; exit 1; }

state=$(package_state)
if [ -n "$state" ] && [ "$state" != not-installed ]; then
  if [ -e "$marker" ]; then
    echo "purging the package left by an interrupted run"
    run_dpkg --purge vantrel >/dev/null
    rm -f "$marker"
  else
    trap - EXIT; rm -rf "$work"
    echo "skipped: a vantrel package that this test did not install is present ($state)"
    exit 77
  fi
fi

cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >/dev/null 2>"$work/cpack.log" ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/vantrel_*_amd64.deb)

# What the package holds and needs.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for f in /usr/lib/libvantrel.so /usr/lib/libvantrel.so.0 /usr/include/vantrel/vantrel.h \
  /usr/lib/pkgconfig/vantrel.pc /usr/lib/cmake/Vantrel/VantrelConfig.cmake \
  /usr/lib/cmake/Vantrel/VantrelConfigVersion.cmake /usr/lib/cmake/Vantrel/VantrelTargets.cmake /usr/bin/vantrel; do
  grep -qx "$f" <<<"$contents" || fail "$f is not in the package"
done
grep -qx '/usr/lib/libvantrel.so.0.[0-9]*.[0-9]*' <<<"$contents" || fail "no versioned library in the package"
depends=$(dpkg-deb -f "$deb" Depends)
grep -qw libfbclient2 <<<"$depends" || fail "the package does not depend on libfbclient2: $depends"

# Files that are already there would be replaced and then removed.
for f in $(grep -v '/$' <<<"$contents"); do
  if [ -e "$f" ] || [ -L "$f" ]; then
    trap - EXIT; rm -rf "$work"
    echo "skipped: $f exists already"
    exit 77
  fi
done
# A dependency that is missing would leave the package half configured.
for dep in $(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ (|].*//'); do
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$dep" 2>/dev/null)" = installed ] ||
    fail "dependency $dep is not installed (scripts/install-deps.sh)"
done

echo "$deb" >"$marker"
run_dpkg -i "$deb" >/dev/null || fail "dpkg -i"
[ "$(package_state)" = installed ] || fail "package state after dpkg -i: $(package_state)"

# The README's host, built against the installed files only (not /usr/local).
awk '/^```c$/{f=1; next} /^```$/{if (f) exit} f' "$source_dir/README.md" >"$work/host.c"
grep -q UpdateDBEx "$work/host.c" || fail "no C host found in the README"
export PKG_CONFIG_LIBDIR=/usr/lib/x86_64-linux-gnu/pkgconfig:/usr/lib/pkgconfig:/usr/share/pkgconfig
libdir=$(realpath -m "$(pkg-config --variable=libdir vantrel)")
[ "$libdir" = /usr/lib ] || fail "pkg-config names $libdir"
# shellcheck disable=SC2046
cc -Wall -Werror -o "$work/host" "$work/host.c" $(pkg-config --cflags --libs vantrel) || fail "building the host"
libs=$(ldd "$work/host")
grep -Eq 'libvantrel\.so\.0 => /(usr/)?lib/libvantrel\.so\.0 ' <<<"$libs" ||
  fail "the host does not load the installed library: $(grep vantrel <<<"$libs")"

cmake -S "$source_dir/tests/consumer/cmake" -B "$work/cmake-build" >/dev/null || fail "find_package(Vantrel)"
grep -qx 'Vantrel_DIR:PATH=/usr/lib/cmake/Vantrel' "$work/cmake-build/CMakeCache.txt" ||
  fail "find_package found $(grep Vantrel_DIR "$work/cmake-build/CMakeCache.txt")"
cmake --build "$work/cmake-build" >/dev/null || fail "building the CMake host"

# Run it on an embedded database made by the installed vantrel command.
versions=$(/usr/bin/vantrel --version) || fail "/usr/bin/vantrel --version"
grep -q "^client library libfbclient.so.2 " <<<"$versions" || fail "/usr/bin/vantrel --version: $versions"
/usr/bin/vantrel create "$work/demo.fdb" --dialect 1 >/dev/null || fail "vantrel create"
printf 'CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\nINSERT INTO VER VALUES (1, 7);\n' \
  >"$work/update.sql"
out=$("$work/host" "$work/demo.fdb" "$work/update.sql")
[ "$out" = "schema version 7" ] || fail "the host printed: $out"
out=$("$work/cmake-build/host" "$work/demo.fdb" "$work/update.sql")
case "$out" in
  "update failed ("*" characters of error text)"*"schema version 7") ;;  # VER exists by now
  *) fail "the CMake host printed: $out" ;;
esac

run_dpkg --purge vantrel >/dev/null || fail "dpkg --purge"
rm -f "$marker"
[ -z "$(package_state)" ] || [ "$(package_state)" = not-installed ] || fail "package state after purge: $(package_state)"
for f in $(grep -v '/$' <<<"$contents"); do
  { [ -e "$f" ] || [ -L "$f" ]; } && fail "$f is still there after the purge"
done
echo "package built, installed, used and removed"
