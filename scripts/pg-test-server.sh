#!/usr/bin/env bash
# A private PostgreSQL server for one test run: its own data folder, listening
# on 127.0.0.1 only, on a free port, with its own login.
#
#   pg-test-server.sh start DIR   # starts it; writes DIR/env (shell assignments)
#   pg-test-server.sh stop DIR    # stops it and removes DIR
#
# DIR/env holds CORVINA_PG_HOST, CORVINA_PG_PORT, CORVINA_PG_USER and
# CORVINA_PG_PASSWORD for the tests. When the server cannot be started, start
# exits non-zero after saying why; nothing is left running.
set -euo pipefail

action="${1:-}"
dir="${2:-}"
if [ -z "$action" ] || [ -z "$dir" ]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi

mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
bindir="${CORVINA_PG_BINDIR:-}"
if [ -z "$bindir" ]; then
  for candidate in /usr/lib/postgresql/15/bin /usr/lib/postgresql/*/bin; do
    if [ -x "$candidate/pg_ctl" ]; then bindir="$candidate"; break; fi
  done
fi

user=corvina
password=corvina-test
data="$dir/data"

# The server refuses to run as root: run it as the unprivileged "postgres"
# account then, which must be able to reach the folder.
as_server() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

port_in_use() {
  ss -ltnH "sport = :$1" 2>/dev/null | grep -q .
}

stop_server() {
  if [ -f "$data/postmaster.pid" ]; then
    as_server "$bindir/pg_ctl" -D "$data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}

start_server() {
  if [ -z "$bindir" ] || [ ! -x "$bindir/pg_ctl" ]; then
    echo "PostgreSQL server programs not found (install the postgresql package)" >&2
    return 1
  fi
  if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
    echo "running as root and there is no 'postgres' account to run the server as" >&2
    return 1
  fi
  rm -rf "$dir"
  mkdir -p "$data"
  chmod 700 "$data"
  local pwfile="$dir/pwfile"
  printf '%s\n' "$password" >"$pwfile"
  if [ "$(id -u)" -eq 0 ]; then
    chown -R postgres: "$dir"
    if ! runuser -u postgres -- test -w "$data"; then
      echo "the 'postgres' account cannot reach $dir" >&2
      return 1
    fi
  fi
  if ! as_server "$bindir/initdb" -D "$data" -U "$user" --pwfile="$pwfile" -A scram-sha-256 \
       -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1; then
    echo "initdb failed:" >&2
    cat "$dir/initdb.log" >&2
    return 1
  fi
  rm -f "$pwfile"
  local attempt port
  for attempt in $(seq 1 20); do
    port=$((20000 + (RANDOM % 20000)))
    port_in_use "$port" && continue
    if as_server "$bindir/pg_ctl" -D "$data" -w -t 60 -l "$dir/server.log" \
         -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories='$data' -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200 -c shared_preload_libraries=pg_stat_statements -c pg_stat_statements.track=top" \
         start >/dev/null 2>&1; then
      cat >"$dir/env" <<EOF
CORVINA_PG_HOST=127.0.0.1
CORVINA_PG_PORT=$port
CORVINA_PG_USER=$user
CORVINA_PG_PASSWORD=$password
EOF
      chmod 644 "$dir/env"
      echo "PostgreSQL test server on 127.0.0.1:$port (data in $data)" >&2
      return 0
    fi
  done
  echo "the PostgreSQL test server did not start:" >&2
  tail -n 20 "$dir/server.log" >&2 || true
  return 1
}

case "$action" in
  start)
    if ! start_server; then
      stop_server
      exit 1
    fi
    ;;
  stop) stop_server ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
