#!/usr/bin/env bash
# Local Firebird server for the server tests (localhost:/path): Firebird 3
# on Debian 12, Firebird 4 on Debian 13 (the version installed, or the one
# Debian's archive carries).
#
#   scripts/firebird-server.sh [start]   install if needed, start, set the password
#   scripts/firebird-server.sh stop      stop the guardian and the server
#   scripts/firebird-server.sh restart   stop, then start
#   scripts/firebird-server.sh status    exit 0 when the server answers
#
# Run as root; every step is idempotent. The server runs as the firebird
# user under its guardian (fbguard -forever restarts a server process that
# dies, which the lost-connection tests rely on). It keeps its lock files in
# a folder of its own, so that tests running the embedded engine as root
# never share lock files with it; the two never open the same database.
# SYSDBA's password becomes the update module's fixed password (read from
# src/entry/SessionSettings.h).
#
# VANTREL_FIREBIRD_PORT (default 3050) sets the port: another one is written
# to firebird.conf as RemoteServicePort, which the clients of the same
# installation (isql-fb, libfbclient) then use for localhost:/path as well.
set -euo pipefail

# The update module's password, from the one place that holds it.
PASSWORD=$(sed -n 's/^ *String Password = u"\([^"]*\)";.*$/\1/p' "$(dirname "$0")/../src/entry/SessionSettings.h")
if [[ -z $PASSWORD ]]; then
  echo "firebird-server: the module's password is not in src/entry/SessionSettings.h" >&2
  exit 1
fi
if [[ -z ${VANTREL_FIREBIRD_VERSION:-} ]]; then
  # shellcheck source=/dev/null
  VANTREL_FIREBIRD_VERSION=$( . /etc/os-release; [[ ${VERSION_ID:-12} -ge 13 ]] && echo 4.0 || echo 3.0)
fi
VERSION=$VANTREL_FIREBIRD_VERSION
RUN_DIR=/run/firebird$VERSION
LOCK_DIR=$RUN_DIR/lock
# fbguard writes the id of the server process it guards here (and rewrites
# it after a restart); the lost-connection tests read it.
PID_FILE=$RUN_DIR/fbguard.pid
PORT=${VANTREL_FIREBIRD_PORT:-3050}
CONF_DIR=/etc/firebird/$VERSION
PASSWORD_FILE=$CONF_DIR/SYSDBA.password
PROBE_DB=/var/lib/firebird/$VERSION/data/vantrel-probe.fdb
SECURITY_DB=security${VERSION%%.*}.fdb

log() { echo "firebird-server: $*"; }

find_binary() {
  local name=$1 dir
  for dir in /usr/sbin /usr/lib/x86_64-linux-gnu/firebird/$VERSION/bin /usr/lib/firebird/$VERSION/bin; do
    if [[ -x $dir/$name ]]; then
      echo "$dir/$name"
      return 0
    fi
  done
  return 1
}

install_server() {
  if find_binary fbguard >/dev/null && find_binary firebird >/dev/null && command -v isql-fb >/dev/null; then
    return 0
  fi
  log "installing firebird$VERSION-server"
  export DEBIAN_FRONTEND=noninteractive
  # The package tries to start its service; where that is refused the
  # install still succeeds and we start the server ourselves below.
  if ! apt-get install -y -q "firebird$VERSION-server" "firebird$VERSION-utils" >/dev/null; then
    apt-get update -q >/dev/null
    apt-get install -y -q "firebird$VERSION-server" "firebird$VERSION-utils" >/dev/null || true
  fi
  find_binary fbguard >/dev/null || { log "fbguard not found after installing"; exit 1; }
}

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null; }

# The guarded server process.
server_pid() {
  [[ -s $PID_FILE ]] || return 1
  local pid
  pid=$(<"$PID_FILE")
  [[ $pid =~ ^[0-9]+$ ]] && kill -0 "$pid" 2>/dev/null && echo "$pid"
}

# Runs SQL through the server on a small database of the script's own (the
# security database refuses remote connections); true when the password was
# accepted and the statements ran.
server_sql() {
  local password=$1 sql=$2 out script
  if [[ -e $PROBE_DB ]]; then
    script="CONNECT 'localhost:$PROBE_DB' USER 'SYSDBA' PASSWORD '$password';"
  else
    script="CREATE DATABASE 'localhost:$PROBE_DB' USER 'SYSDBA' PASSWORD '$password';"
  fi
  out=$(printf 'SET BAIL ON;\n%s\n%s\nCOMMIT;\n' "$script" "$sql" | isql-fb -q 2>&1) || return 1
  ! grep -q -e "Statement failed" -e "SQLSTATE" <<<"$out"
}

generated_password() {
  [[ -r $PASSWORD_FILE ]] || return 1
  sed -n 's/^ISC_PASSWORD="\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' "$PASSWORD_FILE" | head -n 1
}

record_password() {
  [[ -f $PASSWORD_FILE ]] || return 0
  sed -i "s/^ISC_PASSWORD=.*/ISC_PASSWORD=\"$PASSWORD\"/" "$PASSWORD_FILE"
}

set_password() {
  if server_sql "$PASSWORD" "SELECT 1 FROM RDB\$DATABASE;"; then
    record_password
    return 0
  fi
  local old
  old=$(generated_password || true)
  if [[ -n $old ]] && server_sql "$old" "ALTER USER SYSDBA PASSWORD '$PASSWORD';"; then
    record_password
    log "SYSDBA password set"
    return 0
  fi
  # Unknown password: change it in the security database directly, with the
  # server stopped so that only one engine has the file open.
  log "resetting the SYSDBA password offline"
  stop_server
  local security
  security=$(find "/var/lib/firebird/$VERSION/system" -name "$SECURITY_DB" 2>/dev/null | head -n 1)
  [[ -n $security ]] || { log "$SECURITY_DB not found"; exit 1; }
  printf "CONNECT '%s' USER SYSDBA;\nALTER USER SYSDBA PASSWORD '%s' USING PLUGIN Srp;\nCOMMIT;\n" \
    "$security" "$PASSWORD" | FIREBIRD_LOCK=$LOCK_DIR isql-fb -q >/dev/null 2>&1 \
    || printf "CONNECT '%s' USER SYSDBA;\nCREATE USER SYSDBA PASSWORD '%s' USING PLUGIN Srp;\nCOMMIT;\n" \
      "$security" "$PASSWORD" | FIREBIRD_LOCK=$LOCK_DIR isql-fb -q >/dev/null 2>&1 || true
  chown firebird:firebird "$security"
  start_server
  server_sql "$PASSWORD" "SELECT 1 FROM RDB\$DATABASE;" || { log "could not set the SYSDBA password"; exit 1; }
  record_password
  log "SYSDBA password set"
}

# The port the server listens on and the installation's clients call:
# Debian keeps it in service-port.conf (included by firebird.conf) where
# that file exists.
configure_port() {
  local conf=$CONF_DIR/service-port.conf
  [[ -f $conf ]] || conf=$CONF_DIR/firebird.conf
  [[ -f $conf ]] || return 0
  grep -qx "RemoteServicePort = $PORT" "$conf" && return 0
  sed -i '/^RemoteServicePort/d' "$conf"
  [[ $conf == */firebird.conf ]] && ((PORT == 3050)) && return 0
  echo "RemoteServicePort = $PORT" >>"$conf"
}

start_server() {
  if port_open; then
    return 0
  fi
  local fbguard
  fbguard=$(find_binary fbguard)
  mkdir -p "$LOCK_DIR"
  chown firebird:firebird "$RUN_DIR" "$LOCK_DIR"
  chmod 0770 "$RUN_DIR" "$LOCK_DIR"
  if ! server_pid >/dev/null; then
    rm -f "$PID_FILE"
    log "starting $fbguard"
    runuser -u firebird -- env FIREBIRD_LOCK="$LOCK_DIR" "$fbguard" -daemon -forever -pidfile "$PID_FILE"
  fi
  local i
  for ((i = 0; i < 60; i++)); do
    if port_open; then
      log "server answers on port $PORT"
      return 0
    fi
    sleep 0.5
  done
  log "server did not answer within 30 seconds"
  exit 1
}

# The guardian: the parent of the server process.
guard_of() {
  local ppid
  ppid=$(awk '{print $4}' "/proc/$1/stat" 2>/dev/null) || return 1
  [[ $(cat "/proc/$ppid/comm" 2>/dev/null) == fbguard ]] && echo "$ppid"
}

wait_gone() {
  local pid=$1 i
  for ((i = 0; i < 40; i++)); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.25
  done
  return 1
}

stop_server() {
  local pid guard i
  if pid=$(server_pid); then
    # The guardian goes first, or it would start a new server.
    if guard=$(guard_of "$pid"); then
      log "stopping fbguard ($guard)"
      kill -TERM "$guard" 2>/dev/null || true
      wait_gone "$guard" || kill -KILL "$guard" 2>/dev/null || true
    fi
    if kill -0 "$pid" 2>/dev/null; then
      log "stopping the server ($pid)"
      kill -TERM "$pid" 2>/dev/null || true
      wait_gone "$pid" || kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$PID_FILE"
  fi
  for ((i = 0; i < 40; i++)); do
    port_open || return 0
    sleep 0.25
  done
  log "a server still answers on port $PORT (not one this script started?)"
}

[[ $(id -u) -eq 0 ]] || { echo "firebird-server: run as root" >&2; exit 1; }

case ${1:-start} in
start)
  install_server
  configure_port
  start_server
  set_password
  ;;
stop)
  stop_server
  ;;
restart)
  install_server
  configure_port
  stop_server
  start_server
  set_password
  ;;
status)
  port_open
  ;;
*)
  echo "usage: $0 [start|stop|restart|status]" >&2
  exit 2
  ;;
esac
