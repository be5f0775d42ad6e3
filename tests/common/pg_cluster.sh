#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests: `start DIR` creates and starts it on 127.0.0.1 and a socket
# in DIR, writing the connection URI to DIR/uri; `stop DIR` stops it and removes DIR.
set -euo pipefail

action=$1
dir=$2
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
if [ -z "$bin" ]; then
    echo "pg_cluster: PostgreSQL is not installed (scripts/setup installs it)" >&2
    exit 1
fi

# The server refuses to run as root; the cluster then belongs to the postgres account.
as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

case "$action" in
start)
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C >"$dir/initdb.log"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    # Tests need no durability; PG_DURABLE=1 (for benchmarks) keeps the server's safe defaults.
    fast="-c fsync=off -c synchronous_commit=off -c full_page_writes=off"
    [ "${PG_DURABLE:-0}" = 1 ] && fast=""
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-p $port -k $dir -c listen_addresses=127.0.0.1 $fast -c max_connections=200" start >/dev/null
    echo "postgresql://postgres@127.0.0.1:$port/postgres" >"$dir/uri"
    chmod 644 "$dir/uri"
    ;;
stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
        # A machine busy with builds can keep a fast shutdown's checkpoint waiting; the data is thrown away.
        as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null ||
            as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 30 stop >/dev/null
    fi
    rm -rf "$dir"
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 64
    ;;
esac
