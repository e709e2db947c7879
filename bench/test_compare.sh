#!/bin/sh
# The table of scripts/bench --vs, from the outputs of two builds' rorir-bench: figures read from
# the markdown rows only, a number per part of a result, values per round, the ratio of the
# means, the spread, and "-" for what one build does not print.
#   test_compare.sh SCRIPTS-LIB-FOLDER
lib=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/rorir-bench-compare-XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

# The working tree, two rounds of two phases, in today's format.
cat >"$work/wt.1.paced" <<'ROWS'
| measurement | bound or target | result |
|---|---|---|
| measurement cycles/s (19200 baud, paced) | bound 26.67 (36 + 36 bytes at 1920 bytes/s) | 25.89 (97.1 %) |
| CPU during the paced cycle | target <= 5 % of a core | 5.4 % |
| peak resident memory | target <= 80 MB | 36 MB |
ROWS
cat >"$work/wt.2.paced" <<'ROWS'
| measurement | bound or target | result |
|---|---|---|
| measurement cycles/s (19200 baud, paced) | bound 26.67 (36 + 36 bytes at 1920 bytes/s) | 26.11 (97.9 %) |
| CPU during the paced cycle | target <= 5 % of a core | 4.6 % |
| peak resident memory | target <= 80 MB | 35 MB |
ROWS
cat >"$work/wt.1.adapter" <<'ROWS'
| measurement | bound or target | result |
|---|---|---|
| last byte to receive callback, frames whole | target median <= 1 ms | median 0.16 ms, p99 0.30 ms |
| unpaced measurement cycles/s, every frame drawn | target >= 5,000 | 8,778 |
| peak resident memory | target <= 80 MB | 41 MB |
ROWS
cat >"$work/wt.2.adapter" <<'ROWS'
| measurement | bound or target | result |
|---|---|---|
| last byte to receive callback, frames whole | target median <= 1 ms | median 0.20 ms, p99 0.50 ms |
| unpaced measurement cycles/s, every frame drawn | target >= 5,000 | 9,000 |
| peak resident memory | target <= 80 MB | 34 MB |
ROWS
# The commit: its bench lacks the CPU row, prints a warning line, a row of a different shape
# and an old-style line between the rows, and has no adapter phase at all in round 2.
cat >"$work/vs.1.paced" <<'ROWS'
rorir-bench: 3 s per phase after a warm-up second, 2 cores
| measurement | bound or target | result |
|---|---|---|
| measurement cycles/s (19200 baud, paced) | bound 26.67 (36 + 36 bytes at 1920 bytes/s) | 24.00 (90.0 %) |
| a row of two cells | 99 |
CPU during the paced cycle                              4.60 %      target <= 5 %
| peak resident memory | target <= 80 MB | 30 MB |
ROWS
cat >"$work/vs.2.paced" <<'ROWS'
| measurement | bound or target | result |
|---|---|---|
| measurement cycles/s (19200 baud, paced) | bound 26.67 (36 + 36 bytes at 1920 bytes/s) | 24.50 (91.9 %) |
| peak resident memory | target <= 80 MB | 31 MB |
ROWS
cat >"$work/vs.1.adapter" <<'ROWS'
| measurement | bound or target | result |
|---|---|---|
| last byte to receive callback, frames whole | target median <= 1 ms | median 0.40 ms, p99 0.60 ms |
| unpaced measurement cycles/s, every frame drawn | target >= 5,000 | 8,000 |
ROWS
tab=$(printf '\t')
for run in wt.1.paced vs.1.paced vs.2.paced wt.2.paced wt.1.adapter vs.1.adapter wt.2.adapter; do
  echo "$run" | sed "s/\./$tab/; s/\./$tab/; s|\$|$tab$work/$run|"
done >"$work/runs"

. "$lib/bench_compare.sh"
bench_compare_table "working tree" "abc" <"$work/runs" >"$work/table" || { echo "FAILED: exit status $?"; exit 1; }

failed=0
while IFS= read -r row; do
  if grep -Fxq -- "$row" "$work/table"; then echo "ok: $row"; else echo "FAILED, missing: $row"; failed=1; fi
done <<'EXPECTED'
| measurement | working tree | abc | ratio | spread, working tree | spread, abc | ranges overlap |
| measurement cycles/s (19200 baud, paced) | 25.89 / 26.11 | 24.00 / 24.50 | 1.072 | 25.89-26.11 (0.8 %) | 24.00-24.50 (2.1 %) | no |
| CPU during the paced cycle | 5.4 / 4.6 % | - | - | 4.6-5.4 (16.0 %) | - | - |
| last byte to receive callback, frames whole, median | 0.16 / 0.20 ms | 0.40 / - ms | 0.450 | 0.16-0.20 (22.2 %) | - | - |
| last byte to receive callback, frames whole, p99 | 0.30 / 0.50 ms | 0.60 / - ms | 0.667 | 0.30-0.50 (50.0 %) | - | - |
| unpaced measurement cycles/s, every frame drawn | 8,778 / 9,000 | 8,000 / - | 1.111 | 8,778-9,000 (2.5 %) | - | - |
| peak resident memory (highest of the phases) | 41 / 35 MB | 30 / 31 MB | 1.246 | 35-41 (15.8 %) | 30-31 (3.3 %) | no |
EXPECTED
# Only the header, the separator and the six figures: nothing read from the other lines.
rows=$(grep -c '^|' "$work/table")
[ "$rows" -eq 8 ] || { echo "FAILED: $rows rows, expected 8:"; cat "$work/table"; failed=1; }
exit $failed
