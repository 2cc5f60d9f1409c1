# Turns the benchmark's summary CSV into the markdown tables of bench/RESULTS.md: one line
# per goal row (quillbrook against the row's reference client, with a verdict), then every
# line of the summary. Columns are found by their names in the header.
#   awk -v goalSizes="256M 1G" -f bench/goals.awk summary.csv

# The goals: minimum throughput ratio, maximum CPU ratio, maximum RSS ratio to the reference
# (curl; curl-sync on the disk). A resume row has the goal of its fresh row.
function defineGoals() {
    goal["http", "shm"] = "1.0 1.0 0.35"
    goal["http", "disk"] = "1.0 1.0 0.35"
    goal["https", "shm"] = "0.95 1.1 0.5"
    goalOrder = "http/shm http/disk https/shm"
}

function get(row, name) { return cell[row, col[name]] }

# "met", or "not met (...)" naming every measure that misses its goal; a measure that could
# not be compared makes the verdict "unknown".
function verdict(thr, cpu, rss, limits,    lim, missed, unknown) {
    split(limits, lim, " ")
    missed = ""; unknown = ""
    if (thr == "n/a") unknown = unknown "; throughput n/a"
    else if (thr + 0 < lim[1] + 0) missed = missed "; throughput " thr "x < " lim[1] "x"
    if (cpu == "n/a") unknown = unknown "; cpu n/a"
    else if (cpu + 0 > lim[2] + 0) missed = missed "; cpu " cpu "x > " lim[2] "x"
    if (rss == "n/a") unknown = unknown "; rss n/a"
    else if (rss + 0 > lim[3] + 0) missed = missed "; rss " rss "x > " lim[3] "x"
    if (missed != "") return "not met (" substr(missed, 3) ")"
    if (unknown != "") return "unknown (" substr(unknown, 3) ")"
    return "met"
}

BEGIN { FS = ","; defineGoals() }

NR == 1 {
    for (i = 1; i <= NF; i++) col[$i] = i
    next
}

{
    rows++
    for (i = 1; i <= NF; i++) cell[rows, i] = $i
    key = $col["size"] SUBSEP $col["target"] SUBSEP $col["case"]
    at[key, $col["client"]] = rows
    # The practical ceiling of this size, target and case: the fastest client's median.
    if (!((key) in ceiling) || $col["MBps_median"] + 0 > ceiling[key] + 0) {
        ceiling[key] = $col["MBps_median"]
        fastest[key] = $col["client"]
    }
}

END {
    print "| Row | Goal: throughput, CPU, RSS vs reference | quillbrook MB/s | Reference | Reference MB/s | Throughput vs ref, median (min-max) | CPU vs ref | RSS vs ref | Fastest client MB/s | quillbrook's share of it | Verdict |"
    print "|---|---|---|---|---|---|---|---|---|---|---|"
    nPairs = split(goalOrder, pairs, " ")
    nSizes = split(goalSizes, sizes, " ")
    for (p = 1; p <= nPairs; p++) {
        split(pairs[p], st, "/")
        limits = goal[st[1], st[2]]
        split(limits, lim, " ")
        for (c = 1; c <= 2; c++) {
            kind = (c == 1 ? "fresh" : "resume")
            caseName = (st[1] == "https" ? "https-" : "") kind
            for (s = 1; s <= nSizes; s++) {
                key = sizes[s] SUBSEP st[2] SUBSEP caseName
                label = st[1] " " st[2] " " sizes[s] " " kind
                goalText = ">= " lim[1] "x, <= " lim[2] "x, <= " lim[3] "x"
                q = (key, "quillbrook") in at ? at[key, "quillbrook"] : 0
                ref = q ? get(q, "ref") : ""
                if (!q || !((key, ref) in at)) {
                    printf "| %s | %s | | %s | | | | | | | not measured |\n", label, goalText, ref
                    continue
                }
                thr = get(q, "MBps_vs_ref"); cpu = get(q, "cpu_vs_ref"); rss = get(q, "rss_vs_ref")
                share = ceiling[key] > 0 ? sprintf("%.2f", get(q, "MBps_median") / ceiling[key]) : "n/a"
                printf "| %s | %s | %s | %s | %s | %s (%s-%s) | %s | %s | %s (%s) | %s | %s |\n", \
                    label, goalText, get(q, "MBps_median"), ref, get(at[key, ref], "MBps_median"), \
                    thr, get(q, "MBps_vs_ref_min"), get(q, "MBps_vs_ref_max"), cpu, rss, \
                    ceiling[key], fastest[key], share, verdict(thr, cpu, rss, limits)
            }
        }
    }
    print ""
    print "All rows of the summary (ratios are medians of per-round ratios; MB/s and ratios with their min-max):"
    print ""
    print "| Size | Target | Case | Client | Runs | MB/s | CPU s | RSS MiB | Throughput vs curl | CPU vs curl | RSS vs curl | Ref | Throughput vs ref | CPU vs ref | RSS vs ref |"
    print "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
    for (r = 1; r <= rows; r++)
        printf "| %s | %s | %s | %s | %s | %s (%s-%s) | %s | %s | %s (%s-%s) | %s | %s | %s | %s (%s-%s) | %s | %s |\n", \
            get(r, "size"), get(r, "target"), get(r, "case"), get(r, "client"), get(r, "runs"), \
            get(r, "MBps_median"), get(r, "MBps_min"), get(r, "MBps_max"), get(r, "cpu_s_median"), \
            get(r, "rss_MiB_median"), get(r, "MBps_vs_curl"), get(r, "MBps_vs_curl_min"), \
            get(r, "MBps_vs_curl_max"), get(r, "cpu_vs_curl"), get(r, "rss_vs_curl"), get(r, "ref"), \
            get(r, "MBps_vs_ref"), get(r, "MBps_vs_ref_min"), get(r, "MBps_vs_ref_max"), \
            get(r, "cpu_vs_ref"), get(r, "rss_vs_ref")
}
