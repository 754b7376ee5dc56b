#!/usr/bin/env bash
# The second tested configuration: Debian 13 with Firebird 4 and GCC 14, in
# a Debian 13 tree made with debootstrap from Debian's archive and entered
# with chroot.
#
#   scripts/debian13.sh [test]   make or reuse the tree, install what the
#                                build needs there, build and run every test
#                                inside it (embedded Firebird 4 and a
#                                Firebird 4 server of the tree's own), then
#                                this machine's client against that server
#   scripts/debian13.sh tree     make or reuse the tree and install packages
#   scripts/debian13.sh older-client
#                                only this machine's client (its release
#                                build) against the tree's Firebird 4 server
#   scripts/debian13.sh shell [COMMAND...]
#                                a shell (or COMMAND) inside the tree, with
#                                the source mounted and the server running
#
# Run as root. VANTREL_DEBIAN13_ROOT names the tree (default
# /var/tmp/vantrel-debian13); an existing complete tree is reused, so only
# the first run downloads it. VANTREL_DEBIAN13_PRESETS lists the presets
# built and tested inside (default "debian13 debian13-asan": the release and
# the sanitizer configuration; Firebird 4's types are read only here).
#
# Everything runs in a mount and process namespace of its own: the mounts
# into the tree and every process started there (the Firebird 4 server
# among them) end with this script. The server listens on port 3054, so it
# never meets the Debian 12 Firebird 3 server on 3050; its database files,
# lock files and configuration are the tree's own. The source folder is
# mounted at the same path inside, and the builds land in build/<preset>.
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE=$(pwd)

ROOT=${VANTREL_DEBIAN13_ROOT:-/var/tmp/vantrel-debian13}
PRESETS=${VANTREL_DEBIAN13_PRESETS:-debian13 debian13-asan}
MIRROR=${VANTREL_DEBIAN_MIRROR:-http://deb.debian.org/debian}
SUITE=trixie
PORT=3054
# Marks a tree that debootstrap finished; anything else at ROOT is made anew.
COMPLETE=$ROOT/.vantrel-tree-complete

log() { echo "debian13: $* ($(date +%T))"; }

[[ $(id -u) -eq 0 ]] || { echo "debian13: run as root" >&2; exit 1; }

make_tree() {
  if [[ -f $COMPLETE ]]; then
    log "reusing the Debian 13 tree $ROOT"
    return 0
  fi
  if ! command -v debootstrap >/dev/null; then
    log "installing debootstrap"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -qq debootstrap >/dev/null 2>&1 || {
      apt-get update -qq
      apt-get install -y -qq debootstrap >/dev/null
    }
  fi
  if [[ -e $ROOT ]]; then
    # An interrupted debootstrap: nothing may be mounted inside before the
    # folder goes.
    if findmnt -rn -o TARGET | grep -q "^$ROOT/"; then
      log "$ROOT holds mounts; unmount them first"
      exit 1
    fi
    log "removing the incomplete tree $ROOT"
    rm -rf --one-file-system "$ROOT"
  fi
  log "making the Debian 13 tree $ROOT (debootstrap $SUITE)"
  mkdir -p "$(dirname "$ROOT")"
  debootstrap --variant=minbase "$SUITE" "$ROOT" "$MIRROR" >"$ROOT.debootstrap.log" 2>&1 || {
    tail -20 "$ROOT.debootstrap.log"
    exit 1
  }
  rm -f "$ROOT.debootstrap.log"
  # Package scripts must not start services inside the tree.
  printf '#!/bin/sh\nexit 101\n' >"$ROOT/usr/sbin/policy-rc.d"
  chmod 0755 "$ROOT/usr/sbin/policy-rc.d"
  touch "$COMPLETE"
}

# Mounts what programs inside need, and the source at its own path. Runs in
# the private mount namespace, so that the mounts go when it ends.
mount_tree() {
  mount -t proc proc "$ROOT/proc"
  mount --rbind /dev "$ROOT/dev"
  mount -t sysfs sysfs "$ROOT/sys"
  mount -t tmpfs -o mode=1777 tmpfs "$ROOT/tmp"
  mount -t tmpfs -o mode=0755 tmpfs "$ROOT/run"
  mkdir -p "$ROOT$SOURCE"
  mount --bind "$SOURCE" "$ROOT$SOURCE"
  cp /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true
  # debootstrap writes no hosts file; the server and the tests need
  # localhost, and it must be IPv4 first, as on this machine: the server
  # listens on the first address of the name, the port check uses IPv4.
  printf '127.0.0.1\tlocalhost\n::1\tip6-localhost ip6-loopback\n' >"$ROOT/etc/hosts"
}

inside() { chroot "$ROOT" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 TERM="${TERM:-dumb}" VANTREL_FIREBIRD_PORT=$PORT "$@"; }

install_packages() {
  inside bash -c "cd '$SOURCE' && scripts/install-deps.sh"
  # The server's own packages (the guardian, the security database).
  inside bash -c "dpkg-query -W -f='\${Status}' firebird4.0-server 2>/dev/null | grep -q 'ok installed' ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends firebird4.0-server >/dev/null"
}

start_server() { inside bash -c "cd '$SOURCE' && scripts/firebird-server.sh start"; }

stop_server() { inside bash -c "cd '$SOURCE' && scripts/firebird-server.sh stop" >/dev/null 2>&1 || true; }

# This machine's client (Debian 12, Firebird 3) against the Firebird 4
# server: the tests of the newer-server suite, through the release build.
run_older_client_tests() {
  if [[ ! -x build/release/tests/vantrel_client_tests ]]; then
    log "no release build here: skipping this machine's client against the Firebird 4 server"
    return 0
  fi
  log "=== this machine's client against the Firebird 4 server (localhost/$PORT) ==="
  VANTREL_NEWER_SERVER="localhost/$PORT" VANTREL_NEWER_SERVER_ROOT="$ROOT" \
    ctest --test-dir build/release -R 'NewerServer\.' --output-on-failure
}

run_inside_namespace() {
  local command=$1
  shift
  mount_tree
  install_packages
  start_server
  local status=0
  case $command in
  test)
    local preset
    for preset in $PRESETS; do
      log "=== building $preset (Debian 13, $(inside g++ --version | head -n 1)) ==="
      inside bash -c "cd '$SOURCE' && scripts/build.sh $preset" || { status=1; continue; }
    done
    # The older client first, so that the tree's own test summary ends the
    # output.
    run_older_client_tests || status=1
    for preset in $PRESETS; do
      log "=== testing $preset (Debian 13, Firebird 4) ==="
      inside bash -c "cd '$SOURCE' && VANTREL_REQUIRE_SERVER=1 VANTREL_TEST_PACKAGE=1 ctest --preset $preset -j2" || status=1
    done
    ;;
  older-client)
    run_older_client_tests || status=1
    ;;
  shell)
    if (($#)); then
      inside bash -c "cd '$SOURCE' && $*" || status=$?
    else
      inside bash -c "cd '$SOURCE' && exec bash -i" || status=$?
    fi
    ;;
  esac
  stop_server
  return $status
}

case ${1:-test} in
--inside-namespace)
  shift
  run_inside_namespace "$@"
  ;;
tree)
  make_tree
  unshare --mount --pid --fork --mount-proc "$SOURCE/scripts/debian13.sh" --inside-namespace shell true
  ;;
test | shell | older-client)
  make_tree
  exec unshare --mount --pid --fork --mount-proc "$SOURCE/scripts/debian13.sh" --inside-namespace "${1:-test}" "${@:2}"
  ;;
*)
  echo "usage: $0 [test|tree|older-client|shell [COMMAND...]]" >&2
  exit 2
  ;;
esac
