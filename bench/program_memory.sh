#!/usr/bin/env bash
# Resident memory of the running program: corvane in an X server of its own (Xvfb) against
# vna-sim in a fresh folder, measured after start-up and again after CONNECT, a sweep of
# 2001 points and every tab shown once (VmRSS and VmHWM from /proc/PID/status).
#
#   bench/program_memory.sh CORVANE VNA_SIM
set -euo pipefail

[ $# = 2 ] || { echo "usage: $0 CORVANE VNA_SIM"; exit 2; }
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing"; exit 1; }
done
corvane=$(realpath "$1")
sim=$(realpath "$2")
goal_mib=40

fail() { echo "$0: $1"; [ -f "$run/corvane.log" ] && tail -5 "$run/corvane.log"; exit 1; }
# shellcheck source=../tests/acceptance/session.sh
. "$(dirname "$0")/../tests/acceptance/session.sh"
session_begin corvane-memory
session_fonts
session_sim "$sim" --dut "c 10p" --no-pace --noise 0
cd "$run"

CORVANE_FILE_DIALOG=builtin CORVANE_STARTUP_LOG=1 "$corvane" >corvane.log 2>&1 &
prog_pid=$!
W=$(timeout 20 xdotool search --sync --onlyvisible --pid "$prog_pid" --name '^Corvane' | head -1) || fail "no window"
xdotool windowmove --sync "$W" 0 0
for _ in $(seq 200); do grep -q 'first frame shown' corvane.log && break; sleep 0.05; done
sleep 1  # the port scan's tasks gone, the page idle

memory() { awk -v what="$1" '$1 == what":" { printf "%.1f", $2 / 1024 }' "/proc/$prog_pid/status"; }
rss_start=$(memory VmRSS) hwm_start=$(memory VmHWM)

click() { xdotool mousemove --window "$W" "$1" "$2" click 1; }
click 212 24  # CONNECT
sleep 2
click 887 86  # the points field
sleep 0.3
xdotool type --delay 40 2001
xdotool key Return
sleep 0.5
click 464 24  # SCAN
sleep 4
for tab in "100 61" "262 61" "424 61"; do  # S11, S21, RLC
  click $tab
  sleep 1
done
xdotool key F3  # the sweep as a Touchstone file: proof that 2001 points were measured
for _ in $(seq 100); do ls corvane-*.s2p >/dev/null 2>&1 && break; sleep 0.05; done
points=$(grep -c '^[0-9]' corvane-*.s2p 2>/dev/null || echo 0)
[ "$points" = 2001 ] || fail "no sweep of 2001 points completed (exported: $points points)"
rss_end=$(memory VmRSS) hwm_end=$(memory VmHWM)

echo "corvane resident memory (MiB), goal <= $goal_mib:"
printf '  %-46s VmRSS %6s  VmHWM %6s\n' "after start-up" "$rss_start" "$hwm_start"
printf '  %-46s VmRSS %6s  VmHWM %6s\n' "after a 2001-point sweep and every tab shown" "$rss_end" "$hwm_end"
awk -v h="$hwm_end" -v g="$goal_mib" 'BEGIN { print (h <= g ? "  goal met" : "  goal missed") }'
