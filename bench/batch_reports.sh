#!/usr/bin/env bash
# Reports per second of one `foliowright batch` against the same reports run as separate
# foliowright processes by xargs -P, with the same parallelism, side by side in one run.
# The reports are examples/sales/customer.def, one per customer of the example's database grown
# to REPORTS customers by the example's own order generator. Then PDF_REPORTS (40) of them are
# made as PDF both ways, and the conversion's share of each report is the PDF time less the
# .xlsx time of the same reports: one batch keeps its LibreOffice processes up, separate runs
# start one each.
#   Usage: bench/batch_reports.sh [REPORTS (1000)] [JOBS (cores)] [PDF_REPORTS (40)]
#   (TABRIX_BUILD_DIR: build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TABRIX_BUILD_DIR:-$root/build}
reports=${1:-1000}
jobs=${2:-$(nproc)}
pdf_reports=${3:-40}
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
count_reports() { find "$work/out" -name "*.$1" | wc -l; }

# run_both MANIFEST EXT: sets batch_seconds, batch_made, separate_seconds,
# separate_made for the manifest's lines run as one batch and as separate processes.
run_both() {
  local manifest=$1 ext=$2
  rm -rf "$work/out"
  local start=$(date +%s.%N)
  "$program" batch -q -j "$jobs" --status "$work/status.jsonl" "$manifest" 2>"$work/batch.err" || true
  batch_seconds=$(elapsed "$start")
  batch_made=$(count_reports "$ext")
  rm -rf "$work/out"
  start=$(date +%s.%N)
  # One command line per report: definition, customer, year, then --type and --output if given.
  tail -n +2 "$manifest" |
    awk -F'\t' '{ printf "%s %s %s", $1, $2, $3; if (NF > 3) printf " --type %s --output %s", $4, $5; print "" }' |
    (cd "$work" && xargs -L 1 -P "$jobs" "$program" -q) || true
  separate_seconds=$(elapsed "$start")
  separate_made=$(count_reports "$ext")
}

run_both "$manifest" xlsx

rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", n / s }'; }
batch_rate=$(rate "$batch_made" "$batch_seconds")
separate_rate=$(rate "$separate_made" "$separate_seconds")
printf '%s reports, %s jobs, %s cores\n' "$reports" "$jobs" "$(nproc)"
printf '%-34s %8s %10s %12s\n' "" reports seconds reports/s
printf '%-34s %8d %10.2f %12s\n' "foliowright batch -j $jobs" "$batch_made" "$batch_seconds" "$batch_rate"
printf '%-34s %8d %10.2f %12s\n' "xargs -P $jobs foliowright" "$separate_made" "$separate_seconds" "$separate_rate"
printf 'batch / separate: %sx\n' "$(awk -v a="$batch_rate" -v b="$separate_rate" 'BEGIN { printf "%.2f", a / b }')"
tail -1 "$work/batch.err"

[ "$pdf_reports" -gt 0 ] || exit 0
# The same first PDF_REPORTS lines as .xlsx and as PDF, each both ways.
head -n $((pdf_reports + 1)) "$manifest" >"$work/few.tsv"
run_both "$work/few.tsv" xlsx
xlsx_batch=$batch_seconds xlsx_separate=$separate_seconds
{ printf 'definition\tcustomer\tyear\ttype\toutput\n'
  tail -n +2 "$work/few.tsv" | awk -F'\t' '{ printf "%s\t%s\t%s\txlTypePDF\tout/customer_%s.pdf\n", $1, $2, $3, $2 }'
} >"$work/pdf.tsv"
run_both "$work/pdf.tsv" pdf
per_report() { awk -v p="$1" -v x="$2" -v n="$pdf_reports" -v j="$jobs" 'BEGIN { printf "%.3f", (p - x) * j / n }'; }
conv_batch=$(per_report "$batch_seconds" "$xlsx_batch")
conv_separate=$(per_report "$separate_seconds" "$xlsx_separate")
printf '\n%s PDF reports (%d made in the batch, %d separately)\n' "$pdf_reports" "$batch_made" "$separate_made"
printf '%-34s %10s %22s\n' "" seconds "conversion s/report"
printf '%-34s %10.2f %22s\n' "foliowright batch -j $jobs" "$batch_seconds" "$conv_batch"
printf '%-34s %10.2f %22s\n' "xargs -P $jobs foliowright" "$separate_seconds" "$conv_separate"
printf 'batch conversion / separate conversion: %s\n' "$(awk -v a="$conv_batch" -v b="$conv_separate" 'BEGIN { printf "%.3f", a / b }')"
