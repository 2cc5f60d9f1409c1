#!/usr/bin/env bash
# Checks bench/summarize.awk and bench/report.sh on made-up downloads whose ratios are known:
# the reference of each target, rounds paired with the same round's reference, failed
# downloads left out, boundaries of the goals and every kind of verdict. No network; run by
# `scripts/bench --quick`.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Downloads: size target case round client wall_s cpu_s rss_kib [ok].
downloads='
256M shm fresh 1 curl 1.5 1.0 10000
256M shm fresh 1 quillbrook 1.0 0.6 3000
256M shm fresh 1 minimal 0.5 0.3 1000
256M shm fresh 2 curl 1.5 1.0 10000
256M shm fresh 2 quillbrook 1.0 0.5 3000
256M shm fresh 3 curl 1.5 1.0 10000
256M shm fresh 3 quillbrook 0.75 0.5 3000
1G shm fresh 1 curl 1.4 1.0 10000
1G shm fresh 1 quillbrook 1.0 0.6 3000
256M disk fresh 1 curl 0.5 1.0 10000
256M disk fresh 1 curl-sync 1.25 1.0 10000
256M disk fresh 1 quillbrook 1.0 0.75 3000
1G disk fresh 1 curl-sync 2.5 1.0 10000
1G disk fresh 1 quillbrook 2.0 0.5 3000
1G disk fresh 2 curl-sync 2.5 1.0 10000
1G disk fresh 2 quillbrook 9.0 0.5 3000 0
256M shm https-fresh 1 curl 1.0 1.0 10000
256M shm https-fresh 1 quillbrook 1.0 1.0 5000
1G shm https-fresh 1 curl 1.0 1.0 10000
1G shm https-fresh 1 quillbrook 1.0 1.2 6000
256M shm resume 1 curl 1.49 1.0 10000
256M shm resume 1 quillbrook 1.0 0.5 3000
256M shm https-resume 1 curl 1.0 0 10000
256M shm https-resume 1 quillbrook 1.0 0.5 3000
16M shm fresh 1 curl 1.0 1.0 10000
16M shm fresh 1 quillbrook 1.0 1.0 30000
50x1K shm fresh 1 curl 1.0 1.0 10000
50x1K shm fresh 1 quillbrook 1.1 0.9 3000
'

# Expected lines: "row|text its line must hold" for the goal table, "size,target,case,client|
# text" for a line of the summary CSV.
expected='
http shm 256M fresh|| 1.50 (1.50-2.00) | 0.50 | 0.30 | 200 | 0.50 | 0.10 | met |
http shm 256M fresh|| 100 | 5.37 | curl |
http shm 256M fresh|| zero-copy |
http shm 1G fresh|not met (throughput 1.40x < 1.5x)
http disk 256M fresh|| curl-sync | 80 |
http disk 256M fresh|| met |
http disk 1G fresh|| met |
https shm 256M fresh|| buffer |
https shm 256M fresh|| met |
https shm 1G fresh|not met (cpu 1.20x > 1.0x; rss 0.60x > 0.5x)
http shm 256M resume|not met (throughput 1.49x < 1.5x)
https shm 256M resume|unknown (cpu n/a)
http disk 256M resume|not measured
http shm 16M fresh|>= 1.0x, <= 1.0x |
http shm 16M fresh|| met |
http 50x1K whole downloads|not met (throughput 0.91x < 1.0x)
256M,disk,fresh,quillbrook|,0.50,0.50,0.50,0.75,0.30,curl-sync,1.25,1.25,1.25,0.75,0.30,8.05,n/a
256M,shm,fresh,quillbrook|,0.30,5.37,0.50
1G,disk,fresh,quillbrook|,fresh,quillbrook,1,
256M,shm,fresh,curl|,curl,1.00,1.00,1.00,1.00,1.00
'

{
  echo "size,bytes,moved,target,case,client,round,wall_s,user_s,sys_s,rss_kib,exit,ok,load1"
  while read -r size target kind round client wall cpu rss ok; do
    [[ -n $size ]] && echo "$size,1,100000000,$target,$kind,$client,$round,$wall,$cpu,0,$rss,0,${ok:-1},0"
  done <<<"$downloads"
} >"$tmp/runs.csv"
awk -f "$here/summarize.awk" "$tmp/runs.csv" >"$tmp/summary.csv"
"$here/report.sh" --summary "$tmp/summary.csv" --goal-sizes "16M 256M 1G" --program quillbrook \
  --started now --load "0 0 0" --load-end "0 0 0" --runs 3 >"$tmp/report.md"

failed=0
while IFS='|' read -r row text; do
  [[ -z $row ]] && continue
  if [[ $row == *,* ]]; then line=$(grep -F "$row," "$tmp/summary.csv" || true)
  else line=$(grep -F "| $row |" "$tmp/report.md" || true); fi
  if [[ $line != *"$text"* ]]; then
    echo "check-report: '$row' should hold '$text', is: ${line:-missing}" >&2
    failed=1
  fi
done <<<"$expected"
((failed == 0)) && echo "check-report: summary and verdicts as expected"
exit "$failed"
