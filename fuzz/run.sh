#!/usr/bin/env bash
# Builds the fuzz harnesses (preset fuzz) and runs each for a time budget, one after the
# other on one core, on a scratch copy of its corpus (fuzz/corpus/<name> and
# fuzz/regress/<name>), then prints per harness the executions, executions per second,
# seconds, corpus size before and after, and findings.
#   fuzz/run.sh [SECONDS] [harness...]     default 60 s each, every harness
# A finding (crash, leak, timeout, out-of-memory, failed check) is copied to
# build-fuzz/findings/<name>/ and makes the exit status 1; replay it with
# build-fuzz/fuzz/fuzz_<name> FILE, and once fixed commit it to fuzz/regress/<name>/.
# The grown corpora are kept in build-fuzz/corpus/<name>/ for later runs.
# FUZZ_NO_BUILD=1 skips the build; FUZZ_RSS_MB (default 2048) and FUZZ_TIMEOUT (seconds
# per input, default 30: libFuzzer counts wall time, and on a busy shared machine an input
# of the edit harness that takes 0.1 s alone once took 10 s) set libFuzzer's limits.
# FUZZ_CPU=1 counts the budget in the harness's own CPU seconds instead of wall time, so that
# a run beside other work (FUZZ_NICE sets its niceness) still gets its whole budget; the
# table gives both. FUZZ_TIMEOUT then defaults to 600 s: at nice 19 beside busy loops an
# input of 0.12 s of CPU took over 30 s. FUZZ_RUNS=N ends a run after N executions, or at
# its time budget if that comes first (for a goal counted in executions).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
all=(calfile touchstone bmp image stream_name text edit sweep)
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=("${all[@]}")
build=build-fuzz
timeout=${FUZZ_TIMEOUT:-30}
[ -n "${FUZZ_CPU:-}" ] && timeout=${FUZZ_TIMEOUT:-600}

if [ -z "${FUZZ_NO_BUILD:-}" ]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j 2 | grep -v '^\[' || true
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-fuzz-run.XXXXXX")
trap 'rm -rf "$work"' EXIT

found=0
# CPU seconds (user + system) that process $1 has had, 0 once it has ended.
ticks=$(getconf CLK_TCK)
cpu_of() {
  local f
  f=$(cut -d' ' -f14,15 "/proc/$1/stat" 2>/dev/null) || { echo 0; return; }
  echo $(((${f% *} + ${f#* }) / ticks))
}

printf '%-12s %12s %9s %7s %7s %15s %9s\n' harness executions exec/s seconds cpu-s corpus findings
for h in "${harnesses[@]}"; do
  program=$build/fuzz/fuzz_$h
  [ -x "$program" ] || { echo "run.sh: no harness $program" >&2; exit 2; }
  dir=$work/$h
  mkdir -p "$dir/corpus" "$dir/findings" "$dir/tmp"
  for src in fuzz/corpus/$h fuzz/regress/$h $build/corpus/$h; do
    [ -d "$src" ] && cp -r "$src/." "$dir/corpus/"
  done
  before=$(find "$dir/corpus" -type f | wc -l)
  start=$(date +%s%N)
  status=0
  wall=$seconds
  [ -n "${FUZZ_CPU:-}" ] && wall=$((seconds * 20))  # the CPU budget ends the run; this bounds it
  TMPDIR=$dir/tmp ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    nice -n "${FUZZ_NICE:-0}" "$program" -max_total_time="$wall" -rss_limit_mb="${FUZZ_RSS_MB:-2048}" \
    -timeout="$timeout" ${FUZZ_RUNS:+-runs="$FUZZ_RUNS"} -print_final_stats=1 -artifact_prefix="$dir/findings/" \
    "$dir/corpus" >"$dir/log" 2>&1 &
  pid=$!
  cpu=0 stopped=
  while kill -0 "$pid" 2>/dev/null; do
    now=$(cpu_of "$pid")
    [ "$now" -gt "$cpu" ] && cpu=$now
    if [ -n "${FUZZ_CPU:-}" ] && [ "$cpu" -ge "$seconds" ]; then kill -INT "$pid" 2>/dev/null; stopped=1; fi
    sleep 1
  done
  wait "$pid" || status=$?
  # libFuzzer ends on SIGINT with its final statistics and a status of its own.
  [ -n "$stopped" ] && grep -q 'libFuzzer: run interrupted' "$dir/log" && status=0
  tenths=$((($(date +%s%N) - start) / 100000000))
  after=$(find "$dir/corpus" -type f | wc -l)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -1)
  # libFuzzer goes on after a slow input (slow-unit-*, over 10 s of wall time): a report, not
  # a finding; it is kept with the findings when there are any.
  findings=$(find "$dir/findings" -type f ! -name 'slow-unit-*' | wc -l)
  if [ "$status" -ne 0 ] && [ "$findings" -eq 0 ]; then findings=1; fi  # ended without an artifact
  printf '%-12s %12s %9s %5d.%d %7s %6s -> %-6s %9s\n' "$h" "${runs:-?}" "${rate:-?}" \
    $((tenths / 10)) $((tenths % 10)) "$cpu" "$before" "$after" "$findings"
  mkdir -p "$build/corpus/$h"
  cp -r "$dir/corpus/." "$build/corpus/$h/"
  if [ "$findings" -gt 0 ]; then
    found=1
    mkdir -p "$build/findings/$h"
    cp -r "$dir/findings/." "$build/findings/$h/"
    cp "$dir/log" "$build/findings/$h/log"
    grep -m 12 -E 'ERROR|SUMMARY|check failed|Test unit written|^#[0-9]+ .* in ' "$dir/log" | sed 's/^/    /' || true
  fi
done
exit $found
