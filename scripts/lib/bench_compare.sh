# The table of scripts/bench --vs: the figures of runs of two builds' rorir-bench, side by side.
#
# bench_compare_table WT-LABEL VS-LABEL < RUNS
#   RUNS has one line per run of a bench: SIDE<TAB>ROUND<TAB>PHASE<TAB>FILE, SIDE being "wt"
#   (the working tree) or "vs" (the commit) and FILE what that run printed. Every markdown row
#   `| measurement | bound or target | result |` of FILE gives one figure per number of its
#   result, so "median 0.16 ms, p99 0.30 ms" gives two (named "..., median" and "..., p99");
#   a part in brackets (the share of the bound) is left out, as it follows from the figure.
#   Anything else in FILE (the header, the separator, other text) is passed over.
#   A figure that several phases print (the peak resident memory) is the highest of them in each
#   round. Prints the markdown table: the figure, each side's value per round, the ratio of the
#   means (working tree / commit), each side's spread (min-max over the rounds and its share of
#   the mean) and whether the two sides' ranges overlap. A figure one side lacks is "-".
bench_compare_table() {
  awk -F '\t' -v wtLabel="$1" -v vsLabel="$2" '
    function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t]+$/, "", s); return s }
    function add(key, side, round, phase, value, shown, unit,   id) {
      if (!(key in keyIndex)) { keyIndex[key] = ++nKeys; keyName[nKeys] = key; unitOf[key] = unit }
      if (!((key, phase) in keyPhase)) { keyPhase[key, phase] = 1; phaseCount[key]++ }
      id = key SUBSEP side SUBSEP round
      if (!(id in val) || value > val[id]) { val[id] = value; shownOf[id] = shown }
    }
    function readRun(side, round, phase, file,   line, n, cell, name, result, np, part, i, p, label, shown, unit, key, value) {
      while ((getline line < file) > 0) {
        if (line !~ /^[ \t]*\|.*\|[ \t]*$/) continue
        n = split(line, cell, "|")
        if (n != 5) continue  # three cells between the outer bars
        name = trim(cell[2]); result = trim(cell[4])
        if (name ~ /^:?-+:?$/ || (name == "measurement" && result == "result")) continue
        gsub(/ *\([^)]*\)/, "", result)
        np = split(result, part, /, /)
        for (i = 1; i <= np; i++) {
          p = trim(part[i])
          # The number starts the part or follows a space, so the 99 of "p99" is a name.
          if (!match(p, /(^| )[-+]?[0-9][0-9,]*(\.[0-9]+)?/)) continue
          if (substr(p, RSTART, 1) == " ") { RSTART++; RLENGTH-- }
          label = trim(substr(p, 1, RSTART - 1))
          shown = substr(p, RSTART, RLENGTH)
          unit = trim(substr(p, RSTART + RLENGTH))
          key = name
          if (np > 1) key = name ", " (label != "" ? label : "figure " i)
          value = shown; gsub(/,/, "", value)
          add(key, side, round, phase, value + 0, shown, unit)
        }
      }
      close(file)
    }
    function values(key, side,   r, id, out, any) {
      out = ""; any = 0
      for (r = 1; r <= nRounds; r++) {
        id = key SUBSEP side SUBSEP r
        out = out (r > 1 ? " / " : "") ((id in val) ? shownOf[id] : "-")
        if (id in val) any = 1
      }
      if (!any) return "-"
      return out (unitOf[key] != "" ? " " unitOf[key] : "")
    }
    # Sets cnt, sum, lo, hi, loShown, hiShown for one side of a figure.
    function gather(key, side,   r, id) {
      cnt = 0; sum = 0
      for (r = 1; r <= nRounds; r++) {
        id = key SUBSEP side SUBSEP r
        if (!(id in val)) continue
        if (cnt == 0 || val[id] < lo) { lo = val[id]; loShown = shownOf[id] }
        if (cnt == 0 || val[id] > hi) { hi = val[id]; hiShown = shownOf[id] }
        cnt++; sum += val[id]
      }
    }
    function spread(   mean) {
      if (cnt < 2) return "-"
      mean = sum / cnt
      return loShown "-" hiShown (mean != 0 ? sprintf(" (%.1f %%)", 100 * (hi - lo) / mean) : "")
    }
    function printRow(key, title,   wCnt, wMean, wLo, wHi, wSpread, ratio, overlap) {
      gather(key, "wt"); wCnt = cnt; wMean = cnt ? sum / cnt : 0; wLo = lo; wHi = hi; wSpread = spread()
      gather(key, "vs")
      ratio = (wCnt && cnt && sum != 0) ? sprintf("%.3f", wMean / (sum / cnt)) : "-"
      overlap = (wCnt >= 2 && cnt >= 2) ? ((wLo <= hi && lo <= wHi) ? "yes" : "no") : "-"
      printf "| %s | %s | %s | %s | %s | %s | %s |\n", title, values(key, "wt"), values(key, "vs"), ratio,
             wSpread, spread(), overlap
    }
    {
      if ($2 + 0 > nRounds) nRounds = $2 + 0
      readRun($1, $2 + 0, $3, $4)
    }
    END {
      printf "| measurement | %s | %s | ratio | spread, %s | spread, %s | ranges overlap |\n", wtLabel, vsLabel, wtLabel, vsLabel
      print "|---|---|---|---|---|---|---|"
      for (k = 1; k <= nKeys; k++) if (phaseCount[keyName[k]] == 1) printRow(keyName[k], keyName[k])
      for (k = 1; k <= nKeys; k++)
        if (phaseCount[keyName[k]] > 1) printRow(keyName[k], keyName[k] " (highest of the phases)")
    }'
}
