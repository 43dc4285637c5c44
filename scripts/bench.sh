#!/usr/bin/env bash
# bench.sh [BUILD_DIR] [REPETITIONS]: builds the benchmark programs and prints, for each, the
# median of its repetitions beside its anchor's, the ratio and the goal. Repetitions of the
# benchmarks of one program are interleaved, so load from elsewhere falls on both sides alike.
set -euo pipefail
usage="usage: scripts/bench.sh [BUILD_DIR] [REPETITIONS]"
case "${1:-}" in
  -h|--help) echo "$usage"; echo "Builds bench/ in BUILD_DIR (build) and prints medians of REPETITIONS (9) runs."; exit 0 ;;
  -*) echo "$usage" >&2; exit 2 ;;
esac
[ $# -le 2 ] || { echo "$usage" >&2; exit 2; }
cd "$(dirname "$0")/.."
dir="${1:-build}"
repetitions="${2:-9}"
[[ "$repetitions" =~ ^[1-9][0-9]*$ ]] || { echo "bench.sh: REPETITIONS must be a positive number" >&2; exit 2; }
programs=(cipher_bench lookup_bench server_list_bench)

scripts/install-deps.sh
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j"${JOBS:-$(nproc)}" --target "${programs[@]}" >/dev/null

for p in "${programs[@]}"; do
  "$dir/bench/$p" --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null
done | awk -F, '
  function ns(t, unit) { return unit == "us" ? t * 1e3 : unit == "ms" ? t * 1e6 : unit == "s" ? t * 1e9 : t }
  function shown(t) { return t >= 1e6 ? sprintf("%.2f ms", t / 1e6) : t >= 1e3 ? sprintf("%.2f us", t / 1e3) \
                                                                             : sprintf("%.0f ns", t) }
  $1 ~ /_median"$/ {
    name = $1; gsub(/"/, "", name); sub(/_median$/, "", name)
    if ($9 == "true") { print name ": " $10 > "/dev/stderr"; failed = 1; next }
    anchored = name; sub(/_anchor/, "", anchored)
    if (anchored != name) { anchor[anchored] = ns($4, $5); next }
    order[++count] = name; time[name] = ns($4, $5); rate[name] = $6
  }
  # the order of registration, which the interleaving of repetitions shuffles
  function rank(n) {
    r = n ~ /^qv_add/ ? 1 : n ~ /^qv_remove/ ? 2 : n ~ /^decode/ ? 3 : n ~ /^utf8/ ? 4 : n ~ /^has_response/ ? 5 : 6
    return r * 10 + (n ~ /64KiB$/ ? 2 : n ~ /(1MiB|after_refresh)$/ ? 3 : 1)
  }
  END {
    for (i = 2; i <= count; ++i)
      for (j = i; j > 1 && rank(order[j]) < rank(order[j - 1]); --j) { s = order[j]; order[j] = order[j - 1]; order[j - 1] = s }
    printf "%-34s %12s %12s %8s  %s\n", "benchmark (median CPU time)", "ours", "anchor", "speed", "goal"
    for (i = 1; i <= count; ++i) {
      n = order[i]; t = time[n]; a = anchor[n]; speed = a / t; gbs = rate[n] / 1e9
      goal = ""; met = 1
      if (n ~ /^qv_(add|remove)\//) { goal = ">= 0.80x"; met = speed >= 0.8 }
      else if (n ~ /^decode_leniently/) { goal = sprintf(">= 2 GB/s (%.2f GB/s)", gbs); met = gbs >= 2 }
      else if (n ~ /^utf8_check/) { goal = sprintf(">= 4 GB/s (%.2f GB/s)", gbs); met = gbs >= 4 }
      else if (n ~ /unchanged$/) { goal = "<= 5 us"; met = t <= 5000 }
      else if (n ~ /^server_list/) { goal = sprintf("time <= 1.25x anchor (%.2fx)", t / a); met = t <= 1.25 * a }
      else if (n ~ /after_refresh$/) { goal = "no slower than before" }
      printf "%-34s %12s %12s %7.2fx  %s%s\n", n, shown(t), shown(a), speed, goal, \
             goal == "" ? "" : met ? "  ok" : "  MISSED"
    }
    exit failed
  }'
