# Sourced by the real-window test and the program benchmarks: an X server of their own
# (Xvfb), a fresh program folder, and vna-sim linked there as ports/COM1. The sourcing
# script defines fail MESSAGE; session_begin sets run, DISPLAY and the pids that the exit
# trap ends.

# Runs the command until it succeeds, at most 5 s.
eventually() { for _ in $(seq 100); do "$@" && return; sleep 0.05; done; return 1; }

# Starts Xvfb on the first free display in a new folder /tmp/$1.XXXXXX ($run).
session_begin() {
  run=$(mktemp -d "/tmp/$1.XXXXXX")
  xvfb_pid="" sim_pid="" prog_pid=""
  trap session_end EXIT
  exec 3>"$run/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$run/xvfb.log" 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  eventually [ -s "$run/display" ] || fail "Xvfb did not start: $(cat "$run/xvfb.log")"
  export DISPLAY=:$(cat "$run/display")
}

session_end() {
  for pid in $prog_pid $sim_pid $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true && rm -rf "$run"
}

# The program's fonts in $run/FONTS, linked to Debian's (a program run from a build tree
# looks there; an installed one has its own).
session_fonts() {
  mkdir -p "$run/FONTS" && ln -s /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$run/FONTS/default.ttf"
  ln -s /usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc "$run/FONTS/notobd.ttf"
}

# vna-sim ($1, then its options) linked as $run/ports/COM1 with its control socket; COM2 to
# COM15 dangling links, so that the machine's own serial devices do not count.
session_sim() {
  local sim=$1 && shift && mkdir -p "$run/ports"
  (cd "$run" && exec "$sim" --link ports/COM1 "$@") </dev/null >"$run/sim.log" 2>&1 &
  sim_pid=$!
  eventually [ -e "$run/ports/COM1.ctl" ] || fail "vna-sim did not start: $(cat "$run/sim.log")"
  for n in $(seq 2 15); do ln -s /nonexistent "$run/ports/COM$n"; done
}
