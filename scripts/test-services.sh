# Sourced by scripts/test: starts the services the tests need and stops them on exit.
#
# start_test_services starts a throwaway PostgreSQL 15 cluster (Unix socket only, in a private
# temporary folder, as the postgres user when run as root), writes a private odbcinst.ini and
# odbc.ini, and exports what the database tests read:
#   ODBCSYSINI, ODBCINI          the private ODBC configuration
#   TABRIX_TEST_PG_DSN           data-source name of the cluster (PostgreSQL Unicode driver)
#   TABRIX_TEST_PG_CONNSTR       a DSN-less connection string for the same database
#   TABRIX_TEST_PG_USER/PASSWORD a login that needs its password (scram-sha-256)
#   TABRIX_REQUIRE_PG=1          the PostgreSQL tests fail, rather than skip, without a server
# The cluster is stopped and the folder removed when the calling shell exits, also after
# failing tests or an interrupt.

_tabrix_pg_bin=/usr/lib/postgresql/15/bin
_tabrix_services_dir=""

_tabrix_as_postgres() {
  if [ "$(id -u)" -eq 0 ]; then
    su postgres -s /bin/sh -c "$1"
  else
    /bin/sh -c "$1"
  fi
}

stop_test_services() {
  local dir=$_tabrix_services_dir
  [ -n "$dir" ] || return 0
  _tabrix_services_dir=""
  if [ -f "$dir/pg/data/postmaster.pid" ]; then
    _tabrix_as_postgres "$_tabrix_pg_bin/pg_ctl -D '$dir/pg/data' -m immediate -w -t 30 stop" >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}

_tabrix_pg_failed() {
  echo "test-services: PostgreSQL could not be started: $1" >&2
  echo "test-services: the PostgreSQL/ODBC tests will FAIL." >&2
  unset TABRIX_TEST_PG_DSN TABRIX_TEST_PG_CONNSTR TABRIX_TEST_PG_USER TABRIX_TEST_PG_PASSWORD
  return 0
}

start_test_services() {
  export TABRIX_REQUIRE_PG=1
  trap stop_test_services EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM

  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/tabrix-services.XXXXXX") || { _tabrix_pg_failed "no temporary folder"; return 0; }
  _tabrix_services_dir=$dir
  chmod 755 "$dir"

  # ODBC: the system's driver list, and data-source names of our own.
  mkdir -p "$dir/odbc"
  if [ -f /etc/odbcinst.ini ]; then cp /etc/odbcinst.ini "$dir/odbc/odbcinst.ini"; else : >"$dir/odbc/odbcinst.ini"; fi
  export ODBCSYSINI=$dir/odbc
  export ODBCINI=$dir/odbc/odbc.ini
  : >"$ODBCINI"

  if [ ! -x "$_tabrix_pg_bin/initdb" ]; then
    _tabrix_pg_failed "$_tabrix_pg_bin/initdb not found (Debian package postgresql)"
    return 0
  fi
  if [ "$(id -u)" -eq 0 ]; then
    if ! id postgres >/dev/null 2>&1; then _tabrix_pg_failed "no postgres user"; return 0; fi
    mkdir -p "$dir/pg" && chown postgres "$dir/pg"
  else
    mkdir -p "$dir/pg"
  fi
  local pg=$dir/pg
  local port=$(( 20000 + RANDOM % 30000 ))

  if ! _tabrix_as_postgres "$_tabrix_pg_bin/initdb -D '$pg/data' -A trust -U tabrix -E UTF8 --locale=C.UTF-8" >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    _tabrix_pg_failed "initdb failed"
    return 0
  fi
  # Password checks for one login, trust for the rest; Unix sockets only.
  _tabrix_as_postgres "printf '%s\n' 'local all tabrix_secret scram-sha-256' 'local all all trust' >'$pg/data/pg_hba.conf'"
  if ! _tabrix_as_postgres "$_tabrix_pg_bin/pg_ctl -D '$pg/data' -l '$pg/pg.log' -w -t 60 -o \"-p $port -k '$pg' -c listen_addresses=''\" start" >/dev/null 2>&1; then
    [ -f "$pg/pg.log" ] && tail -n 20 "$pg/pg.log" >&2
    _tabrix_pg_failed "pg_ctl start failed"
    return 0
  fi
  if ! "$_tabrix_pg_bin/psql" -h "$pg" -p "$port" -U tabrix -d postgres -v ON_ERROR_STOP=1 -q \
      -c "SET password_encryption = 'scram-sha-256'; CREATE ROLE tabrix_secret LOGIN PASSWORD 'S3cret pw'" >/dev/null; then
    _tabrix_pg_failed "creating the login failed"
    return 0
  fi

  cat >>"$ODBCINI" <<INI
[TabrixPG]
Driver=PostgreSQL Unicode
Servername=$pg
Port=$port
Database=postgres
INI
  export TABRIX_TEST_PG_DSN=TabrixPG
  export TABRIX_TEST_PG_CONNSTR="Driver={PostgreSQL Unicode};Servername=$pg;Port=$port;Database=postgres;UID=tabrix"
  export TABRIX_TEST_PG_USER=tabrix_secret
  export TABRIX_TEST_PG_PASSWORD='S3cret pw'
  echo "test-services: PostgreSQL 15 on $pg (port $port), DSN $TABRIX_TEST_PG_DSN"
}
