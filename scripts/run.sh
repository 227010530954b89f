#!/usr/bin/env bash
# Sets everything up, builds, and runs the program in build/run/: against vna-sim linked as
# ports/COM1 there, unless a real analyser is attached. Without a display it says so and
# runs the headless measurement demo instead (cli/demo.sh, results in build/demo/).
#
#   CORVANE_SIM=1 scripts/run.sh   always start the simulator (also with hardware attached)
#   CORVANE_SIM=0 scripts/run.sh   never start it (use the machine's serial ports)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

# The run folder: the program's directory (vna.cal, ports/, FONTS/ resolve there).
run=build/run
mkdir -p "$run/FONTS" "$run/ports"
ln -sfn /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$run/FONTS/default.ttf"
ln -sfn /usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc "$run/FONTS/notobd.ttf"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display (DISPLAY is not set); running the headless measurement demo instead"
  echo
  exec bash cli/demo.sh build
fi

# A USB serial adapter or modem device means a real analyser: the program then finds it
# as COM1 by the machine's port order, unless CORVANE_SIM says otherwise.
hardware=0
compgen -G "/dev/ttyUSB*" >/dev/null || compgen -G "/dev/ttyACM*" >/dev/null && hardware=1
use_sim=${CORVANE_SIM:-$((1 - hardware))}

sim_pid=""
stop_sim() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; true; }
trap stop_sim EXIT INT TERM

if [ "$use_sim" = 1 ]; then
  rm -f "$run/ports/COM1" "$run/ports/COM1.ctl"
  (cd "$run" && exec ../sim/vna-sim --link ports/COM1 --dut open) </dev/null >"$run/vna-sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do [ -e "$run/ports/COM1.ctl" ] && break; sleep 0.05; done
  echo "run: vna-sim on $(readlink "$run/ports/COM1") as COM1; change its device under test with"
  echo "       echo 'dut short' | nc -U $run/ports/COM1.ctl     (open, short, load, isolation, thru, r 50, c 10p, ...)"
else
  rm -f "$run/ports/COM1"
  echo "run: no simulator; the program lists the machine's serial ports (COM1 = the first USB one)"
fi

(cd "$run" && ../app/corvane)
