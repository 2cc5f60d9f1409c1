# Turns the benchmark's summary CSV into the markdown tables of bench/RESULTS.md: one line
# per goal row (quillbrook against the row's reference client, with a verdict), then every
# line of the summary. Columns are found by their names in the header.
#   awk -v goalSizes="256M 1G" -f bench/goals.awk summary.csv

# The goals: minimum throughput ratio, maximum CPU ratio, maximum RSS ratio ("-": none) to the
# reference (curl; curl-sync on the disk). A resume row has the goal of its fresh row; a 16M
# row has the small-file goal whatever its scheme and target. The 50x1K row is 50 whole
# downloads of a 1 KiB file, so its throughput ratio is curl's total wall time over ours.
function defineGoals() {
    goal["http", "shm"] = "1.5 0.6 0.3"
    goal["http", "disk"] = "1.25 0.75 0.3"
    goal["https", "shm"] = "1.0 1.0 0.5"
    smallGoal = "1.0 1.0 -"
    goalOrder = "http/shm http/disk https/shm"
}

# How quillbrook moves the body on Linux: plain http from the socket to the file by splice,
# https through its buffer (the bytes must be decrypted); a 1 KiB body comes with the head.
function pathOf(scheme, size) {
    if (size == "50x1K") return "with the head"
    return scheme == "https" ? "buffer" : "zero-copy"
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
    else if (lim[3] != "-" && rss + 0 > lim[3] + 0) missed = missed "; rss " rss "x > " lim[3] "x"
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
}

# One line of the goal table: the row's label, its goal, and quillbrook against the reference
# and against the minimal client of the same rows.
function goalLine(key, label, scheme, size, limits,    lim, goalText, q, ref, m, mRss, thr, cpu, rss, share) {
    split(limits, lim, " ")
    goalText = ">= " lim[1] "x, <= " lim[2] "x" (lim[3] == "-" ? "" : ", <= " lim[3] "x")
    q = (key, "quillbrook") in at ? at[key, "quillbrook"] : 0
    ref = q ? get(q, "ref") : ""
    if (!q || !((key, ref) in at)) {
        printf "| %s | %s | %s | | | %s | | | | | | | | not measured |\n", label, goalText, pathOf(scheme, size), ref
        return
    }
    thr = get(q, "MBps_vs_ref"); cpu = get(q, "cpu_vs_ref"); rss = get(q, "rss_vs_ref")
    m = (key, "minimal") in at ? get(at[key, "minimal"], "MBps_median") : "n/a"
    mRss = (key, "minimal") in at ? get(at[key, "minimal"], "rss_vs_ref") : "n/a"
    share = get(q, "MBps_vs_minimal")
    printf "| %s | %s | %s | %s | %s | %s | %s | %s (%s-%s) | %s | %s | %s | %s | %s | %s |\n", \
        label, goalText, pathOf(scheme, size), get(q, "MBps_median"), get(q, "user_s_per_GiB"), ref, \
        get(at[key, ref], "MBps_median"), thr, get(q, "MBps_vs_ref_min"), get(q, "MBps_vs_ref_max"), \
        cpu, rss, m, share, mRss, verdict(thr, cpu, rss, limits)
}

END {
    print "| Row | Goal: throughput, CPU, RSS vs reference | Path | quillbrook MB/s | quillbrook user s/GiB | Reference | Reference MB/s | Throughput vs ref, median (min-max) | CPU vs ref | RSS vs ref | Minimal client MB/s | quillbrook's share of it | Minimal client's RSS vs ref | Verdict |"
    print "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
    nPairs = split(goalOrder, pairs, " ")
    nSizes = split(goalSizes, sizes, " ")
    for (p = 1; p <= nPairs; p++) {
        split(pairs[p], st, "/")
        for (c = 1; c <= 2; c++) {
            kind = (c == 1 ? "fresh" : "resume")
            caseName = (st[1] == "https" ? "https-" : "") kind
            for (s = 1; s <= nSizes; s++) {
                limits = sizes[s] == "16M" ? smallGoal : goal[st[1], st[2]]
                goalLine(sizes[s] SUBSEP st[2] SUBSEP caseName, st[1] " " st[2] " " sizes[s] " " kind, \
                         st[1], sizes[s], limits)
            }
        }
    }
    goalLine("50x1K" SUBSEP "shm" SUBSEP "fresh", "http 50x1K whole downloads", "http", "50x1K", smallGoal)
    print ""
    print "All rows of the summary (ratios are medians of per-round ratios; MB/s and ratios with their min-max):"
    print ""
    print "| Size | Target | Case | Client | Runs | MB/s | CPU s | User s/GiB | RSS MiB | Throughput vs curl | CPU vs curl | RSS vs curl | Ref | Throughput vs ref | CPU vs ref | RSS vs ref | Throughput vs minimal |"
    print "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
    for (r = 1; r <= rows; r++)
        printf "| %s | %s | %s | %s | %s | %s (%s-%s) | %s | %s | %s | %s (%s-%s) | %s | %s | %s | %s (%s-%s) | %s | %s | %s |\n", \
            get(r, "size"), get(r, "target"), get(r, "case"), get(r, "client"), get(r, "runs"), \
            get(r, "MBps_median"), get(r, "MBps_min"), get(r, "MBps_max"), get(r, "cpu_s_median"), \
            get(r, "user_s_per_GiB"), get(r, "rss_MiB_median"), get(r, "MBps_vs_curl"), get(r, "MBps_vs_curl_min"), \
            get(r, "MBps_vs_curl_max"), get(r, "cpu_vs_curl"), get(r, "rss_vs_curl"), get(r, "ref"), \
            get(r, "MBps_vs_ref"), get(r, "MBps_vs_ref_min"), get(r, "MBps_vs_ref_max"), \
            get(r, "cpu_vs_ref"), get(r, "rss_vs_ref"), get(r, "MBps_vs_minimal")
}
