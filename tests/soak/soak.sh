#!/usr/bin/env bash
# Soak: the real program in an X server of its own (Xvfb) sweeps continuously against vna-sim
# on the paced line for a fixed time while faults come at random intervals: silence, garbage,
# lost bytes, unplug and replug, the simulator restarted. After each the operator does what
# the status line asks (SCAN again; DISCONNECT and CONNECT after an unplug or a restart) and
# the sweeps must resume. Counts sweeps, failed sweeps and recoveries; the program's resident
# memory at the start and the end must not grow. Not part of the test run.
#
#   tests/soak/soak.sh [MINUTES] [CORVANE] [VNA_SIM]    defaults: 10, build/app/corvane,
#                                                       build/sim/vna-sim
#   SOAK_SEED=N                                         the faults' random sequence
#
# Sweeps are counted from the simulator's trace: a sweep begins with the write of the restart
# register and is complete when the FIFO was read for all its points (201 points: 26 batches
# of 8 records). A fault that strikes the last batch of a sweep may count that sweep as
# complete; every other failed sweep counts as failed. Exit status 0 when the program lived
# to the end, recovered from every fault and its memory did not grow by more than 2 MiB.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
minutes=${1:-10}
corvane=$(realpath "${2:-$root/build/app/corvane}")
sim=$(realpath "${3:-$root/build/sim/vna-sim}")
RANDOM=${SOAK_SEED:-$$}
points=201
batches=$(((points + 7) / 8))
fail() {
  echo "soak.sh: $1"
  [ -f "${run:-}/corvane.log" ] && tail -5 "$run/corvane.log"
  exit 1
}
for tool in Xvfb xdotool nc; do command -v "$tool" >/dev/null || fail "$tool is missing"; done
# shellcheck source=../acceptance/session.sh
. "$here/../acceptance/session.sh"
session_begin corvane-soak
session_fonts
cd "$run"
sim_args=(--dut "c 10p" --trace)
session_sim "$sim" "${sim_args[@]}"
mv sim.log trace.log

ctl() { echo "$1" | nc -U -q1 ports/COM1.ctl 2>/dev/null || true; }
click() { xdotool mousemove --window "$W" "$1" "$2" click 1; }
alive() { kill -0 "$prog_pid" 2>/dev/null || fail "the program ended (crash?) after $(completed) sweeps"; }
rss_kib() { awk '$1 == "VmRSS:" { print $2 }' "/proc/$prog_pid/status"; }
# Completed and failed sweeps in the trace so far (the sweep under way counts once complete).
count() {
  awk -v need="$batches" '
    / write 0x30 \(restart\)/ { if (started) { if (got >= need) done++; else failed++ } started = 1; got = 0 }
    / read FIFO 0x30, / { got++ }
    END { if (started && got >= need) done++; print done + 0, failed + 0 }' trace.log
}
completed() { count | cut -d' ' -f1; }
# Waits up to $1 seconds for more than $2 completed sweeps.
sweeps_beyond() {
  local end=$((SECONDS + $1))
  while [ $SECONDS -lt "$end" ]; do
    [ "$(completed)" -gt "$2" ] && return 0
    sleep 0.5
  done
  return 1
}
restart_sim() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  (exec "$sim" --link ports/COM1 "${sim_args[@]}") </dev/null >>trace.log 2>&1 &
  sim_pid=$!
  eventually [ -e ports/COM1.ctl ] || fail "vna-sim did not start again"
}
reconnect() {
  click 338 24  # DISCONNECT
  sleep 0.5
  click 212 24  # CONNECT
  sleep 1.5
}

CORVANE_FILE_DIALOG=builtin CORVANE_ANSWER_TIMEOUT_MS=2000 "$corvane" >corvane.log 2>&1 &
prog_pid=$!
W=$(timeout 20 xdotool search --sync --onlyvisible --pid "$prog_pid" --name '^Corvane' | head -1) || fail "no window"
xdotool windowmove --sync "$W" 0 0
sleep 1  # the port scan at start
click 887 86  # the points field
sleep 0.3
xdotool type --delay 40 "$points"
xdotool key Return
sleep 0.3
click 541 24  # continue
for _ in 1 2 3; do
  reconnect
  click 464 24  # SCAN
  sweeps_beyond 20 3 && break
done
[ "$(completed)" -gt 3 ] || fail "no sweeps at the start: $(count); the trace ends: $(tail -3 trace.log)"
rss_start=$(rss_kib)

declare -A injected=()
recovered=0 unrecovered=0 faults=0
end=$((SECONDS + minutes * 60))
while [ $SECONDS -lt "$end" ]; do
  sleep $((5 + RANDOM % 11))
  alive
  kinds=(silence garbage drop unplug restart)
  kind=${kinds[RANDOM % 5]}
  injected[$kind]=$((${injected[$kind]:-0} + 1))
  faults=$((faults + 1))
  case $kind in
    silence) ctl "fault silent" >/dev/null; sleep 3; ctl "fault none" >/dev/null ;;
    garbage) ctl "fault garbage $((1 + RANDOM % 2000))" >/dev/null; sleep 2 ;;
    drop) ctl "fault drop $((1 + RANDOM % 300))" >/dev/null; sleep 3 ;;
    unplug) ctl "fault unplug" >/dev/null; sleep 3; ctl "fault replug" >/dev/null ;;
    restart) restart_sim; sleep 1 ;;
  esac
  alive
  before=$(completed)
  case $kind in unplug | restart) reconnect ;; esac
  click 464 24  # SCAN (ignored while a sweep still runs)
  if sweeps_beyond 20 "$before"; then
    recovered=$((recovered + 1))
  else
    # Once more, the whole way round, before it counts as not recovered.
    reconnect
    click 464 24
    if sweeps_beyond 20 "$before"; then
      recovered=$((recovered + 1))
    else
      unrecovered=$((unrecovered + 1))
      echo "no sweep after $kind at $SECONDS s"
    fi
  fi
done
alive
rss_end=$(rss_kib)
read -r sweeps_done failed < <(count)

echo "soak of $minutes min: $sweeps_done sweeps of $points points completed, $failed failed"
printf '  faults %d:' "$faults"
for k in silence garbage drop unplug restart; do printf ' %s %d' "$k" "${injected[$k]:-0}"; done
echo
echo "  recovered $recovered, not recovered $unrecovered"
echo "  corvane VmRSS at the start $((rss_start / 1024)) MiB ($rss_start KiB)," \
  "at the end $((rss_end / 1024)) MiB ($rss_end KiB)"
[ "$unrecovered" = 0 ] || fail "the program did not recover from every fault"
[ $((rss_end - rss_start)) -le 2048 ] || fail "resident memory grew by $((rss_end - rss_start)) KiB"
echo "  passed"
