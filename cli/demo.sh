#!/usr/bin/env bash
# A calibrated measurement against the simulator, in <build>/demo: vna-sim on
# ports/COM1 there at the real line rate, vna-cli measuring OPEN, SHORT, LOAD, ISOLATION
# and THRU (this script connects each standard in the simulator when vna-cli asks for it,
# and presses Enter), then a 22 ohm resistor, written to r22.s2p with the calibration in
# demo.cal.
#   cli/demo.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
out="$build/demo"
mkdir -p "$out"

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The simulator takes control lines on its standard input and answers each on its
# standard output (the first line there is its terminal).
mkdir -p "$out/ports"
mkfifo "$work/sim.in" "$work/sim.out"
"$build/sim/vna-sim" --link "$out/ports/COM1" --rate 1000 <"$work/sim.in" >"$work/sim.out" &
sim_pid=$!
exec 3>"$work/sim.in" 4<"$work/sim.out"
read -r tty <&4 || { echo "vna-sim did not start" >&2; exit 1; }
echo "vna-sim: analyser on $tty, linked as $out/ports/COM1"

device() {
  echo "dut $1" >&3
  read -r answer <&4
  [ "$answer" = ok ] || { echo "vna-sim: $answer" >&2; exit 1; }
  echo "  (vna-sim: $1 connected)"
}

cd "$out"
coproc CLI { "$build/cli/vna-cli" --points 201 --start 1 --stop 800 --calibrate \
               --save-cal demo.cal --out r22.s2p 2>&1; }
cli_pid=$CLI_PID
declare -A standard=([OPEN]=open [SHORT]=short [LOAD]=load [ISOLATION]=isolation [THRU]=thru
                     [DUT]="r 22")
while IFS= read -r line <&"${CLI[0]}"; do
  echo "vna-cli: $line"
  if [[ $line =~ ^Connect\ ([A-Z]+)\ and\ press\ Enter$ ]]; then
    device "${standard[${BASH_REMATCH[1]}]}"
    echo >&"${CLI[1]}"
  fi
done
wait "$cli_pid"

echo
echo "Calibrated S11 and S21 of a 22 ohm resistor (expected S11 = (22-50)/(22+50) = -0.3889):"
head -n 8 "$out/r22.s2p"
echo "..."
echo "Files: $out/r22.s2p, $out/demo.cal"
