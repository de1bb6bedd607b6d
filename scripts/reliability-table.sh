#!/usr/bin/env bash
# Turns the rows the hardening suite wrote (build/x64/tests/hardening/
# reliability.tsv: id, case, expected, observed) into docs/reliability.md's markdown table,
# the last row of each id winning. With --update it replaces the table between
# the markers of docs/reliability.md; otherwise it prints it.
#   cd build/x64 && ctest -L hardening && cd ../.. && scripts/reliability-table.sh --update
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=${B:-$root/build}
rows=${ROWS:-$B/x64/tests/hardening/reliability.tsv}
[ -f "$rows" ] || { echo "reliability-table.sh: no rows in $rows (run ctest -L hardening)" >&2; exit 1; }

table() {
  echo "| Case | Expected | Observed |"
  echo "| --- | --- | --- |"
  # Last row per id, in id order; "|" in a cell would end it, so escape it.
  awk -F'\t' 'NF >= 4 { row[$1] = $0 } END { for (id in row) print row[id] }' "$rows" |
    LC_ALL=C sort -t$'\t' -k1,1 |
    awk -F'\t' '{ for (i = 2; i <= 4; ++i) gsub(/\|/, "\\|", $i); printf "| %s %s | %s | %s |\n", $1, $2, $3, $4 }'
}

if [ "${1:-}" = --update ]; then
  readme=$root/docs/reliability.md
  begin='<!-- reliability-table:begin -->'
  end='<!-- reliability-table:end -->'
  grep -qF "$begin" "$readme" || { echo "reliability-table.sh: no markers in docs/reliability.md" >&2; exit 1; }
  tmp=$(mktemp)
  table >"$tmp.table"
  awk -v b="$begin" -v e="$end" -v t="$tmp.table" '
    $0 == b { print; while ((getline line < t) > 0) print line; skip = 1; next }
    $0 == e { skip = 0 }
    !skip { print }' "$readme" >"$tmp"
  mv "$tmp" "$readme"
  rm -f "$tmp.table"
else
  table
fi
