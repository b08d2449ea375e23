# Sourced by scripts/test: starts the services the tests need and stops them on exit.
#
# start_test_services starts a throwaway PostgreSQL 15 cluster (Unix socket only, in a private
# temporary folder, as the postgres user when run as root) and a throwaway MariaDB server (its
# own socket, and TCP on 127.0.0.1 at a random port, as the mysql user when run as root), writes
# a private odbcinst.ini and odbc.ini, and exports what the database tests read:
#   ODBCSYSINI, ODBCINI          the private ODBC configuration
#   TABRIX_TEST_PG_DSN           data-source name of the cluster (PostgreSQL Unicode driver)
#   TABRIX_TEST_PG_CONNSTR       a DSN-less connection string for the same database
#   TABRIX_TEST_PG_USER/PASSWORD a login that needs its password (scram-sha-256)
#   TABRIX_REQUIRE_PG=1          the PostgreSQL tests fail, rather than skip, without a server
#   TABRIX_TEST_MARIADB_PORT, _SOCKET, _USER, _PASSWORD, _DATABASE   the MariaDB server's
#                                database tabrix and a login with a password that owns it
#   TABRIX_REQUIRE_MARIADB=1     the MariaDB tests fail, rather than skip, without the server
# The servers are stopped and the folder removed when the calling shell exits, also after
# failing tests or an interrupt.

_tabrix_pg_bin=/usr/lib/postgresql/15/bin
_tabrix_services_dir=""

# Runs a command as the given service user when we are root, as ourselves otherwise.
_tabrix_as() {
  if [ "$(id -u)" -eq 0 ]; then
    su "$1" -s /bin/sh -c "$2"
  else
    /bin/sh -c "$2"
  fi
}
_tabrix_as_postgres() { _tabrix_as postgres "$1"; }

stop_test_services() {
  local dir=$_tabrix_services_dir
  [ -n "$dir" ] || return 0
  _tabrix_services_dir=""
  if [ -f "$dir/pg/data/postmaster.pid" ]; then
    _tabrix_as_postgres "$_tabrix_pg_bin/pg_ctl -D '$dir/pg/data' -m immediate -w -t 30 stop" >/dev/null 2>&1 || true
  fi
  if [ -f "$dir/my/mariadbd.pid" ]; then
    local pid i
    pid=$(cat "$dir/my/mariadbd.pid")
    kill "$pid" 2>/dev/null || true
    for i in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -rf "$dir"
}

_tabrix_pg_failed() {
  echo "test-services: PostgreSQL could not be started: $1" >&2
  echo "test-services: the PostgreSQL/ODBC tests will FAIL." >&2
  unset TABRIX_TEST_PG_DSN TABRIX_TEST_PG_CONNSTR TABRIX_TEST_PG_USER TABRIX_TEST_PG_PASSWORD
  return 0
}

_tabrix_mariadb_failed() {
  echo "test-services: MariaDB could not be started: $1" >&2
  echo "test-services: the MariaDB/ODBC tests will FAIL." >&2
  unset TABRIX_TEST_MARIADB_PORT TABRIX_TEST_MARIADB_SOCKET TABRIX_TEST_MARIADB_USER \
    TABRIX_TEST_MARIADB_PASSWORD TABRIX_TEST_MARIADB_DATABASE
  return 0
}

# MariaDB in $1/my: a fresh data folder, socket $1/my/mariadbd.sock, TCP on 127.0.0.1.
_tabrix_start_mariadb() {
  local my=$1/my
  export TABRIX_REQUIRE_MARIADB=1
  if [ ! -x /usr/sbin/mariadbd ] || ! command -v mariadb-install-db >/dev/null; then
    _tabrix_mariadb_failed "mariadbd or mariadb-install-db not found (Debian package mariadb-server)"
    return 0
  fi
  local user_option=""
  mkdir -p "$my"
  if [ "$(id -u)" -eq 0 ]; then
    if ! id mysql >/dev/null 2>&1; then _tabrix_mariadb_failed "no mysql user"; return 0; fi
    chown mysql "$my"
    user_option="--user=mysql"
  fi
  if ! mariadb-install-db --no-defaults $user_option --datadir="$my/data" \
      --auth-root-authentication-method=normal --skip-test-db >"$1/mariadb-install.log" 2>&1; then
    tail -n 20 "$1/mariadb-install.log" >&2
    _tabrix_mariadb_failed "mariadb-install-db failed"
    return 0
  fi
  local port=$(( 20000 + RANDOM % 30000 ))
  _tabrix_as mysql "/usr/sbin/mariadbd --no-defaults --datadir='$my/data' --socket='$my/mariadbd.sock' \
      --port=$port --bind-address=127.0.0.1 --pid-file='$my/mariadbd.pid' --log-error='$my/error.log' \
      --skip-log-bin --innodb-buffer-pool-size=16M </dev/null >/dev/null 2>&1 &"
  local i
  for i in $(seq 1 300); do
    [ -S "$my/mariadbd.sock" ] && [ -f "$my/mariadbd.pid" ] && break
    sleep 0.1
  done
  local password='M4ria pw'
  if ! mariadb --no-defaults --socket="$my/mariadbd.sock" -u root -e "
      CREATE DATABASE tabrix;
      CREATE USER 'tabrix'@'localhost' IDENTIFIED BY '$password';
      CREATE USER 'tabrix'@'127.0.0.1' IDENTIFIED BY '$password';
      GRANT ALL ON tabrix.* TO 'tabrix'@'localhost';
      GRANT ALL ON tabrix.* TO 'tabrix'@'127.0.0.1';" >/dev/null; then
    [ -f "$my/error.log" ] && tail -n 20 "$my/error.log" >&2
    _tabrix_mariadb_failed "the server did not start or refused the login"
    return 0
  fi
  export TABRIX_TEST_MARIADB_PORT=$port
  export TABRIX_TEST_MARIADB_SOCKET=$my/mariadbd.sock
  export TABRIX_TEST_MARIADB_USER=tabrix
  export TABRIX_TEST_MARIADB_PASSWORD=$password
  export TABRIX_TEST_MARIADB_DATABASE=tabrix
  echo "test-services: MariaDB on $my/mariadbd.sock and 127.0.0.1:$port"
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

  _tabrix_start_mariadb "$dir"
  _tabrix_start_postgresql "$dir"
}

_tabrix_start_postgresql() {
  local dir=$1
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
