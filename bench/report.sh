#!/usr/bin/env bash
# Writes the benchmark's results page (markdown, to standard output) from a summary CSV: the
# machine, the date, the load, the versions measured, then the goal table with a verdict per
# row and every line of the summary (bench/goals.awk). Called by scripts/bench.
#
#   bench/report.sh --summary CSV --goal-sizes "256M 1G" --program BIN --started DATE
#                   --load "L1 L5 L15" --load-end "L1 L5 L15" --runs N [--run TEXT] [--failures N]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

summary='' goal_sizes='' program='' started='' load='' load_end='' runs=''
run="full default run" failures=0
while (($#)); do
  case $1 in
    --summary) summary=$2 ;;
    --goal-sizes) goal_sizes=$2 ;;
    --program) program=$2 ;;
    --started) started=$2 ;;
    --load) load=$2 ;;
    --load-end) load_end=$2 ;;
    --runs) runs=$2 ;;
    --run) run=$2 ;;
    --failures) failures=$2 ;;
    *) echo "report: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
[[ -r $summary ]] || { echo "report: no summary at '$summary'" >&2; exit 1; }

# The commit of the tree the program was built from, "-dirty" when tracked files differ
# (other than the results this run is writing).
commit() {
  local rev
  rev=$(git -C "$here/.." rev-parse --short HEAD 2>/dev/null) || { echo unknown; return; }
  git -C "$here/.." diff --quiet HEAD -- . ':(exclude)bench/results' ':(exclude)bench/RESULTS.md' ||
    rev+=-dirty
  echo "$rev"
}

first_line() { "$@" 2>&1 | head -n 1; }

cat <<END
# Benchmark results

Written by \`scripts/bench\` ($run); bench/README.md says what is measured and what every
column means. Rounds: $runs; ratios are taken per round against the reference
client of the same round, then the median (and min-max) over the rounds is shown.

- Date: $started
- Machine: $(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores, $(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) memory
- System: Linux $(uname -r), Debian $(cat /etc/debian_version 2>/dev/null || echo unknown)
- Load average (1, 5, 15 min): $load at the start, $load_end at the end
- quillbrook: commit $(commit) ($program)
- $(first_line curl --version)
- $(first_line wget --version)
- $(first_line nginx -v)
- Failed downloads (left out of the figures): $failures

## Goals

The reference is curl, and on the disk curl followed by an fsync of the file (curl-sync), as
quillbrook makes the file durable before it reports success. The minimal client
(bench/minimal_get.c) is this machine's limit: splice over http, one buffer of OpenSSL records
over https; "share of it" is quillbrook's throughput over its, paired round by round. Path is
how quillbrook moves the body on Linux (bench/README.md).

END
awk -v goalSizes="$goal_sizes" -f "$here/goals.awk" "$summary"
