#!/usr/bin/env bash
# Reports per second of one `foliowright batch` against the same reports run as separate
# foliowright processes by xargs -P, with the same parallelism, side by side in one run.
# The reports are examples/sales/customer.def, one per customer of the example's database grown
# to REPORTS customers by the example's own order generator.
#   Usage: bench/batch_reports.sh [REPORTS (1000)] [JOBS (cores)]   (TABRIX_BUILD_DIR: build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TABRIX_BUILD_DIR:-$root/build}
reports=${1:-1000}
jobs=${2:-$(nproc)}
program=$build/foliowright
[ -x "$program" ] || { echo "build foliowright first: cmake --build $build --target foliowright" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/examples/sales/customer.def" "$root/examples/sales/sales.sql" "$work/"
/usr/bin/python3 "$root/examples/sales/make_template.py" "$work" >/dev/null
/usr/bin/python3 - "$work" "$reports" <<'PY'
import sqlite3, sys
folder, customers = sys.argv[1], int(sys.argv[2])
con = sqlite3.connect(folder + "/sales.db")
con.executescript(open(folder + "/sales.sql", encoding="utf-8").read())
regions = ["North", "South", "East", "West"]
con.executemany("INSERT INTO customers (id, name, region) VALUES (?, ?, ?)",
                [(i, "Customer %d" % i, regions[i % 4]) for i in range(13, customers + 1)])
# The same generator as sales.sql, 50 order lines a customer.
con.execute(f"""
INSERT INTO sales (id, order_date, customer_id, product, quantity, amount)
WITH RECURSIVE seq(n, r) AS (
  SELECT 1, 20240601 UNION ALL
  SELECT n + 1, (r * 1103515245 + 12345) % 2147483648 FROM seq WHERE n < {customers * 50}
),
numbered AS (SELECT code, unit_price, ROW_NUMBER() OVER (ORDER BY code) - 1 AS k FROM products)
SELECT 1000 + n, date('2023-01-01', '+' || ((r / 7) % 730) || ' days'), 1 + (n - 1) / 50, numbered.code,
       1 + (r / 17) % 24, ROUND((1 + (r / 17) % 24) * numbered.unit_price, 2)
FROM seq JOIN numbered ON numbered.k = (r / 11) % 8""")
con.execute("CREATE INDEX sales_customer ON sales (customer_id, order_date)")
con.commit()
PY

manifest=$work/customers.tsv
{ printf 'definition\tcustomer\tyear\n'; for ((i = 1; i <= reports; i++)); do printf 'customer.def\t%d\t2024\n' "$i"; done; } >"$manifest"

elapsed() { awk -v s="$1" -v e="$(date +%s.%N)" 'BEGIN { printf "%.3f", e - s }'; }
count_reports() { find "$work/out" -name '*.xlsx' | wc -l; }

rm -rf "$work/out"
start=$(date +%s.%N)
"$program" batch -q -j "$jobs" --status "$work/status.jsonl" "$manifest" 2>"$work/batch.err" || true
batch_seconds=$(elapsed "$start")
batch_made=$(count_reports)

rm -rf "$work/out"
start=$(date +%s.%N)
tail -n +2 "$manifest" | cut -f2,3 | tr '\t' '\n' |
  (cd "$work" && xargs -n 2 -P "$jobs" "$program" -q customer.def) || true
separate_seconds=$(elapsed "$start")
separate_made=$(count_reports)

rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", n / s }'; }
batch_rate=$(rate "$batch_made" "$batch_seconds")
separate_rate=$(rate "$separate_made" "$separate_seconds")
printf '%s reports, %s jobs, %s cores\n' "$reports" "$jobs" "$(nproc)"
printf '%-34s %8s %10s %12s\n' "" reports seconds reports/s
printf '%-34s %8d %10.2f %12s\n' "foliowright batch -j $jobs" "$batch_made" "$batch_seconds" "$batch_rate"
printf '%-34s %8d %10.2f %12s\n' "xargs -P $jobs foliowright" "$separate_made" "$separate_seconds" "$separate_rate"
printf 'batch / separate: %sx\n' "$(awk -v a="$batch_rate" -v b="$separate_rate" 'BEGIN { printf "%.2f", a / b }')"
tail -1 "$work/batch.err"
