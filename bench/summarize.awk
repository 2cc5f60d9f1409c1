# Turns the benchmark's per-download lines (runs CSV) into one line per size, target,
# case and client: medians with their spread, and medians of the per-round ratios to curl and
# to the row's reference client (curl-sync on the disk, where the file must be durable as
# quillbrook's is when it reports success; curl elsewhere), and to the bench's own minimal
# client, the machine's limit.
# Input columns: size,bytes,moved,target,case,client,round,wall_s,user_s,sys_s,rss_kib,exit,ok,load1

function sortNumbers(list, n,    i, j, v) {
    for (i = 2; i <= n; i++) {
        v = list[i]
        for (j = i - 1; j >= 1 && list[j] > v; j--) list[j + 1] = list[j]
        list[j + 1] = v
    }
}

# Median of the values stored as store[key, 1..count[key]].
function median(store, key, n,    i, list) {
    if (n == 0) return ""
    for (i = 1; i <= n; i++) list[i] = store[key, i] + 0
    sortNumbers(list, n)
    if (n % 2) return list[(n + 1) / 2]
    return (list[n / 2] + list[n / 2 + 1]) / 2
}

function lowest(store, key, n,    i, v) {
    v = store[key, 1] + 0
    for (i = 2; i <= n; i++) if (store[key, i] + 0 < v) v = store[key, i] + 0
    return v
}

function highest(store, key, n,    i, v) {
    v = store[key, 1] + 0
    for (i = 2; i <= n; i++) if (store[key, i] + 0 > v) v = store[key, i] + 0
    return v
}

function fmt(v, digits) {
    if (v == "") return "n/a"
    return sprintf("%." digits "f", v)
}

# The client a row is compared with: on the disk, curl followed by an fsync of the file.
function referenceOf(target) {
    return target == "disk" ? "curl-sync" : "curl"
}

# Fills thr, cpuRatio and rssRatio[ref, group, 1..] with this group's per-round ratios to
# client ref of the same round and sets nThr, nCpu and nRss to their counts.
function ratios(group, ref,    i, round) {
    nThr = 0; nCpu = 0; nRss = 0
    for (i = 1; i <= samples[group]; i++) {
        round = roundKey[group, i]
        if (!((round, ref) in roundWall)) continue
        # Throughput ratio: the reference's time over this client's time for the same bytes.
        thr[ref, group, ++nThr] = roundWall[round, ref] / (wall[group, i] > 0 ? wall[group, i] : 0.001)
        if (roundCpu[round, ref] > 0) cpuRatio[ref, group, ++nCpu] = roundCpu[round, client[group]] / roundCpu[round, ref]
        if (roundRss[round, ref] > 0) rssRatio[ref, group, ++nRss] = roundRss[round, client[group]] / roundRss[round, ref]
    }
}

# "median,min,max,cpu,rss" of the ratios to ref, n/a where there is nothing to compare.
function ratioColumns(group, ref,    key) {
    ratios(group, ref)
    key = ref SUBSEP group
    return fmt(median(thr, key, nThr), 2) "," (nThr ? fmt(lowest(thr, key, nThr), 2) : "n/a") "," \
        (nThr ? fmt(highest(thr, key, nThr), 2) : "n/a") "," \
        fmt(median(cpuRatio, key, nCpu), 2) "," fmt(median(rssRatio, key, nRss), 2)
}

BEGIN { FS = "," }

NR == 1 { next } # header

$13 == 1 {
    group = $1 SUBSEP $4 SUBSEP $5 SUBSEP $6
    if (!(group in seen)) {
        seen[group] = 1
        order[++groups] = group
        moved[group] = $3
    }
    n = ++samples[group]
    wall[group, n] = $8
    mbps[group, n] = $3 / 1e6 / ($8 > 0 ? $8 : 0.001)
    user[group, n] = $9
    userPerGiB[group, n] = $3 > 0 ? $9 / ($3 / 1073741824) : 0
    sys[group, n] = $10
    cpu[group, n] = $9 + $10
    rss[group, n] = $11 / 1024
    # The round's values, to pair each client with curl of the same round.
    round = $1 SUBSEP $4 SUBSEP $5 SUBSEP $7
    roundWall[round, $6] = $8
    roundCpu[round, $6] = $9 + $10
    roundRss[round, $6] = $11
    roundKey[group, n] = round
    client[group] = $6
}

END {
    print "size,target,case,client,runs,wall_s_median,wall_s_min,wall_s_max,MBps_median,MBps_min,MBps_max," \
          "user_s_median,sys_s_median,cpu_s_median,rss_MiB_median,rss_MiB_max," \
          "MBps_vs_curl,MBps_vs_curl_min,MBps_vs_curl_max,cpu_vs_curl,rss_vs_curl," \
          "ref,MBps_vs_ref,MBps_vs_ref_min,MBps_vs_ref_max,cpu_vs_ref,rss_vs_ref," \
          "user_s_per_GiB,MBps_vs_minimal"
    for (g = 1; g <= groups; g++) {
        group = order[g]
        n = samples[group]
        split(group, part, SUBSEP)
        ref = referenceOf(part[2])
        ratios(group, "minimal")
        toMinimal = fmt(median(thr, "minimal" SUBSEP group, nThr), 2)
        printf "%s,%s,%s,%s,%d,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s\n", \
            part[1], part[2], part[3], client[group], n, \
            fmt(median(wall, group, n), 3), fmt(lowest(wall, group, n), 3), fmt(highest(wall, group, n), 3), \
            fmt(median(mbps, group, n), 0), fmt(lowest(mbps, group, n), 0), fmt(highest(mbps, group, n), 0), \
            fmt(median(user, group, n), 2), fmt(median(sys, group, n), 2), fmt(median(cpu, group, n), 2), \
            fmt(median(rss, group, n), 1), fmt(highest(rss, group, n), 1), \
            ratioColumns(group, "curl"), ref, ratioColumns(group, ref), \
            fmt(median(userPerGiB, group, n), 2), toMinimal
    }
}
