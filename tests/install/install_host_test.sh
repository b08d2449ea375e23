#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves it (the package must be relocatable), builds
# examples/host against it out of tree (find_package and pkg-config), runs real reports with the
# host programs, the installed foliowright and the installed Python package, and reads the
# reports back with openpyxl.
#   install_host_test.sh BUILD_DIR SOURCE_DIR CXX_COMPILER [C_COMPILER]      (registered with ctest)
set -euo pipefail
build=$1
source=$2
cxx=$3
cc=${4:-cc}
work=$(mktemp -d "${TMPDIR:-/tmp}/tabrix-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/staged" >"$work/install.log" || { cat "$work/install.log"; fail "install"; }
mv "$work/staged" "$work/prefix"
prefix=$work/prefix

# What is installed, and what is not.
lib=$(find "$prefix" -name libtabrix.a)
[ -n "$lib" ] || fail "no libtabrix.a"
libdir=$(dirname "$lib")
for f in include/tabrix/tabrix.h include/tabrix/tabrix_c.h include/tabrix/platform/spreadsheet.h bin/foliowright share/tabrix/fmtconv.cfg; do
  [ -e "$prefix/$f" ] || fail "$f not installed"
done
[ -f "$libdir/cmake/Tabrix/TabrixConfig.cmake" ] && [ -f "$libdir/cmake/Tabrix/TabrixConfigVersion.cmake" ] ||
  fail "no CMake package"
[ -f "$libdir/pkgconfig/tabrix.pc" ] || fail "no tabrix.pc"
if find "$prefix" -name '*_tests' -o -name '*_replay' -o -name 'tabrix_test_fixtures*' | grep -q .; then
  fail "test programs installed"
fi
# Only public headers: nothing of src/ (whose headers sit in area folders like xlsx/).
[ "$(find "$prefix/include" -name '*.h' -not -path "$prefix/include/tabrix/*" | wc -l)" = 0 ] ||
  fail "headers outside include/tabrix"

# The host programs (C++ and C), out of tree: once with find_package(Tabrix), once with pkg-config.
cmake -S "$source/examples/host" -B "$work/host-build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >"$work/host-configure.log" 2>&1 ||
  { cat "$work/host-configure.log"; fail "configuring the host with find_package(Tabrix)"; }
cmake --build "$work/host-build" >"$work/host-build.log" 2>&1 || { cat "$work/host-build.log"; fail "building the host"; }
pc_flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --static --cflags --libs tabrix) ||
  fail "pkg-config tabrix"
pc_include=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --variable=includedir tabrix)
[ "$(realpath "$pc_include")" = "$(realpath "$prefix/include")" ] ||
  fail "tabrix.pc does not point into the moved prefix: $pc_include"
"$cxx" -std=c++20 -O1 "$source/examples/host/report_host.cpp" -o "$work/report_host_pc" $pc_flags ||
  fail "building the host with pkg-config"
"$cc" -std=c11 -O1 "$source/examples/host/report_host.c" -o "$work/report_host_c_pc" $pc_flags ||
  fail "building the C host with cc and pkg-config"

# A database, a template and a definition file: items of one year go into a growing table whose
# total formula follows it.
mkdir -p "$work/report/data" "$work/report/templates"
/usr/bin/python3 - "$work/report" "$source/python/tests" <<'PY'
import os, pathlib, sqlite3, sys
sys.path.insert(0, sys.argv[2])
from conftest import make_template
folder = sys.argv[1]
con = sqlite3.connect(os.path.join(folder, "data", "items.db"))
con.executescript("""
CREATE TABLE items (name TEXT, qty INTEGER, year INTEGER);
INSERT INTO items VALUES ('cherry', 7, 2024), ('apple', 3, 2024), ('banana', 11, 2024), ('plum', 5, 2023);
""")
con.commit()
con.close()
make_template(pathlib.Path(folder, "templates"))
PY
printf '%s\r\n' 'Foliowright Version 2.0' '[Data Source]' 'EncryptPassword=N' 'Name1=Main' \
  'ConnectionString1=Provider=SQLite;Data Source=data\items.db' '[File]' \
  'ReportTemplateFileName=templates\items.xlsx' 'ReportFileName=out\items_%Who%_%Year%.xlsx' \
  'LogFileName=out\%Who%.log' '[Parameter]' \
  'Name1=%Who%' 'Title1=Program' 'Default1=none' 'Name2=%Year%' 'Title2=Year' 'Default2=2024' '[SQL]' \
  '@items=REPORT(CONNECT=Main SHEET=Data RESERVE=2 CELL=A4,B4)' \
  'SELECT name, qty FROM items WHERE year = %Year% ORDER BY name' >"$work/report/items.def"

"$work/host-build/report_host" "$work/report/items.def" cmake 2024 >"$work/cmake.out" ||
  { cat "$work/cmake.out"; fail "report_host (find_package) run"; }
grep -q "^@items: done" "$work/cmake.out" || { cat "$work/cmake.out"; fail "no event for @items"; }
"$work/report_host_pc" "$work/report/items.def" pkgconfig 2024 >"$work/pc.out" ||
  { cat "$work/pc.out"; fail "report_host (pkg-config) run"; }
for host in host-build/report_host_c:c-cmake report_host_c_pc:c-pkgconfig; do
  "$work/${host%%:*}" "$work/report/items.def" "${host#*:}" 2024 >"$work/${host#*:}.out" ||
    { cat "$work/${host#*:}.out"; fail "${host%%:*} run"; }
  grep -q "^@items: done" "$work/${host#*:}.out" || { cat "$work/${host#*:}.out"; fail "no event for @items in C"; }
done
(cd "$work" && "$prefix/bin/foliowright" -q "$work/report/items.def" foliowright 2024) ||
  fail "installed foliowright run"
# The installed program finds its conversion table under share/tabrix.
if grep -q "fmtconv.cfg" "$work/report/out/foliowright.log"; then
  cat "$work/report/out/foliowright.log"
  fail "installed foliowright did not find fmtconv.cfg"
fi

# The Python package, from the prefix's site folder, when the build has it.
whos="cmake pkgconfig c-cmake c-pkgconfig foliowright"
if [ -d "$build/python/tabrix" ]; then
  module=$(find "$prefix" -name '_tabrix*.so')
  [ -n "$module" ] || fail "Python package not installed"
  (cd "$work" && PYTHONPATH=$(dirname "$(dirname "$module")") /usr/bin/python3 - "$work/report/items.def" "$prefix" <<'PY') ||
import os, sys
import tabrix
assert os.path.realpath(tabrix.__file__).startswith(os.path.realpath(sys.argv[2])), tabrix.__file__
result = tabrix.run(sys.argv[1], "python")
assert [(s.name, s.records, s.error) for s in result.statements] == [("items", 3, None)], result.statements
PY
    fail "installed Python package run"
  whos="$whos python"
fi

for who in $whos; do
  /usr/bin/python3 - "$work/report/out/items_${who}_2024.xlsx" <<'PY' || fail "report of $who"
import sys
from openpyxl import load_workbook
ws = load_workbook(sys.argv[1])["Data"]
rows = [[c.value for c in row] for row in ws.iter_rows(min_row=3, max_row=7, max_col=2)]
expected = [["Item", "Qty"], ["apple", 3], ["banana", 11], ["cherry", 7], ["Total", "=SUM(B4:B6)"]]
if rows != expected:
    sys.exit(f"{sys.argv[1]}: {rows} != {expected}")
PY
done
echo "installed package: find_package, pkg-config (C++ and C) and foliowright reports OK"
