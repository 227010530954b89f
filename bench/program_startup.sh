#!/usr/bin/env bash
# Start-up time of the program: from exec to the first frame of the main page shown in its
# window, in an X server of its own (Xvfb) with vna-sim on ports/COM1 (COM2 to COM15 lead
# nowhere). The launcher takes CLOCK_MONOTONIC just before it execs corvane (perl, which
# execs in the same process), and corvane with CORVANE_STARTUP_LOG=1 prints the
# CLOCK_MONOTONIC of the first frame it shows: both sides of the interval on one clock,
# without polling screenshots (whose own cost would be tens of milliseconds). The first
# frame is the main page: the page draws and runs its port scan before its first hand-over.
# The port scan's own time is taken apart from a system-call trace (strace) of one more
# start: from the first to the last time a ports/COMn name is looked up, and subtracted.
#
#   bench/program_startup.sh CORVANE VNA_SIM [RUNS]
set -euo pipefail

[ $# -ge 2 ] || { echo "usage: $0 CORVANE VNA_SIM [RUNS]"; exit 2; }
command -v Xvfb >/dev/null || { echo "$0: Xvfb is missing"; exit 1; }
corvane=$(realpath "$1")
sim=$(realpath "$2")
runs=${3:-5}
goal_ms=300

fail() { echo "$0: $1"; exit 1; }
# shellcheck source=../tests/acceptance/session.sh
. "$(dirname "$0")/../tests/acceptance/session.sh"
session_begin corvane-startup
session_fonts
session_sim "$sim" --no-pace
cd "$run"

# One start: prints the milliseconds from exec to the first frame shown.
start_once() {
  : >corvane.log
  CORVANE_STARTUP_LOG=1 perl -MTime::HiRes=clock_gettime,CLOCK_MONOTONIC -e \
    'printf STDERR "exec at monotonic %.9f s\n", clock_gettime(CLOCK_MONOTONIC); exec @ARGV or die' \
    ${TRACE:+strace -f --seccomp-bpf -ttt -e trace=%file -o strace.log} "$corvane" >corvane.log 2>&1 &
  prog_pid=$!
  for _ in $(seq 400); do grep -q 'first frame shown' corvane.log && break; sleep 0.025; done
  if [ -n "${TRACE:-}" ]; then  # the program under the tracer ends first
    for pid in $(pgrep -P "$prog_pid"); do kill "$pid" 2>/dev/null || true; done
  fi
  kill "$prog_pid" 2>/dev/null || true
  wait "$prog_pid" 2>/dev/null || true
  prog_pid=""
  awk '/^exec at/ { t0 = $4 } /first frame shown/ { t1 = $7 } END {
         if (t0 == "" || t1 == "") exit 1; printf "%.1f\n", (t1 - t0) * 1000 }' corvane.log ||
    fail "no first frame within 10 s: $(tail -3 corvane.log)"
}

times=()
for _ in $(seq "$runs"); do times+=("$(start_once)"); done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
median=$(echo "$sorted" | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')

scan="" 
if command -v strace >/dev/null; then
  TRACE=1 start_once >/dev/null
  scan=$(awk '/ports\/COM[0-9]/ { if (first == "") first = $2; last = $2 } END {
           if (first != "") printf "%.1f", (last - first) * 1000 }' strace.log)
fi

echo "corvane start-up, exec to the first frame of the main page shown (ms), goal <= $goal_ms without the port scan:"
echo "  runs: ${times[*]}"
echo "  median: $median"
if [ -n "$scan" ]; then
  echo "  port scan (COM1 to COM15, from a traced start): $scan"
  awk -v m="$median" -v s="$scan" -v g="$goal_ms" \
    'BEGIN { printf "  median without the port scan: %.1f  %s\n", m - s, (m - s <= g ? "goal met" : "goal missed") }'
fi
