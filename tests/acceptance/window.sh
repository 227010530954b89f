#!/usr/bin/env bash
# The real program in a real X window, driven as an operator drives it: real pointer and key
# events of an X server (Xvfb, xdotool) at the main page's objects, the simulator on
# ports/COM1, and screenshots of the window compared with the references in
# tests/data/acceptance/ (a few pixels may differ by a little: fonts are drawn by the X
# server's machine).
#
#   window.sh CORVANE VNA_SIM        the program as built, started in a fresh folder: the
#                                    whole workflow
#   window.sh --installed BUILD_DIR  the programs of a staged `cmake --install` of the build,
#                                    the program's folder given by CORVANE_HOME: the workflow
#                                    up to EXIT without the steps about the window itself
#
#   WM_CLOSE=PROGRAM                 closes a window as a window manager does (the test
#                                    tool wm_close); without it that step is left out
#
#   CORVANE_REGENERATE=1 window.sh ...     writes the references instead of comparing
#   ACCEPTANCE_KEEP=DIR window.sh ...      keeps the screenshots of failed steps in DIR
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
refs=$here/../data/acceptance regenerate=${CORVANE_REGENERATE:-0} keep=${ACCEPTANCE_KEEP:-}
wm_close=${WM_CLOSE:+$(realpath "$WM_CLOSE")} step_text=""
fail() {
  printf 'FAILED at: %s\n  %s\n' "$step_text" "$1"
  [ -f "${run:-}/corvane.log" ] && sed 's/^/  corvane: /' "$run/corvane.log" | tail -20
  exit 1
}
for t in Xvfb xdotool import compare nc; do command -v $t >/dev/null || fail "$t is missing"; done
# shellcheck source=session.sh
. "$here/session.sh"
built=1 && [ "${1:-}" = --installed ] && built="" || { corvane=$(realpath "$1") sim=$(realpath "$2"); }
session_begin corvane-window

# --- the operator's means ---------------------------------------------------------------

W="" width=1024 height=600 blank=""
# Page coordinates (1024 x 600) to the window's, which may be scaled.
click() { xdotool mousemove --window "$W" $(($1 * width / 1024)) $(($2 * height / 600)) click 1; }
type_text() { xdotool type --delay 40 "$1"; }
key() { xdotool key "$1"; }
ctl() { [ "$(echo "$1" | nc -U -q1 "$run/ports/COM1.ctl")" = ok ] || fail "the simulator refused: $1"; }
# Whether picture $2 differs from the reference $1 in at most $3 pixels by more than 12 %
# (the count in $differ).
alike() {
  differ=$(compare -metric AE -fuzz 12% "$1" "$2" null: 2>&1 || true)
  [[ $differ =~ ^[0-9]+$ ]] && [ "$differ" -le "$3" ]
}
# The region x y w h of the page (page coordinates) in a screenshot, what changes from run
# to run blanked: the sweep's milliseconds, and the rectangle in $blank when set.
crop() {
  convert "$1" -resize "1024x600!" -fill black -draw "rectangle 160,562 210,588" \
    ${blank:+-draw "rectangle $blank"} -crop "${4}x${5}+${2}+${3}" +repage "$6"
}
# Waits until the region shows what the reference shows (at most 15 seconds); the
# references are written after $6 seconds instead when regenerating.
expect() {
  local name=$1 ref=$refs/$1.png got=$run/$1.png shot=$run/shot.png
  local allowed=$(($4 * $5 / 500 + 4)) end=$((SECONDS + 15))
  shoot() { import -window "$W" "$shot" 2>/dev/null && crop "$shot" "$2" "$3" "$4" "$5" "$1"; }
  [ "$regenerate" = 1 ] && { sleep "${6:-2}" && shoot "$ref" "$2" "$3" "$4" "$5" && echo "   wrote $ref"; return; }
  [ -f "$ref" ] || fail "no reference $ref"
  until shoot "$got" "$2" "$3" "$4" "$5" && alike "$ref" "$got" "$allowed"; do
    [ $SECONDS -lt $end ] && sleep 0.2 && continue
    [ -z "$keep" ] || { mkdir -p "$keep" && cp "$got" "$keep/$name.got.png" &&
      compare -fuzz 12% "$ref" "$got" "$keep/$name.diff.png" 2>/dev/null || true; }
    fail "the window does not show $name.png after 15 s ($differ pixels differ, $allowed allowed)"
  done
}
# The status line, and the whole window but for the status line's timing.
status() { expect "status_$1" 264 562 420 28 1.5; }
page() { expect "$1" 0 0 1024 600; }

# --- the operator's folder, the simulator, the program -------------------------------------

if [ -z "$built" ]; then
  DESTDIR=$run/stage cmake --install "$2" --prefix /usr >/dev/null
  corvane=$run/stage/usr/bin/corvane sim=$run/stage/usr/bin/vna-sim
  export CORVANE_HOME=$run && cd /
else
  session_fonts && cd "$run"
fi
session_sim "$sim" --dut open --no-pace --noise 0

# Starts the program (with the program's own file dialog) and finds its window,
# placed at the screen's corner (all of it on the screen, also when larger). The analyser's
# answers may take longer than its 500 ms on a loaded machine (the pseudo-terminal passes
# them on late); the test is about the window, not the link's timing.
start_program() {
  CORVANE_FILE_DIALOG=builtin CORVANE_ANSWER_TIMEOUT_MS=5000 "$corvane" >"$run/corvane.log" 2>&1 &
  prog_pid=$! width=1024 height=600
  W=$(timeout 20 xdotool search --sync --onlyvisible --pid "$prog_pid" --name '^Corvane' | head -1) || fail "no window"
  xdotool windowmove --sync "$W" 0 0
}
# Waits (5 s at most) for the program to end with status $1.
ended_with() {
  eventually eval '! kill -0 "$prog_pid" 2>/dev/null' || fail "still running 5 s later"
  local code=0 && wait "$prog_pid" || code=$?
  prog_pid="" && [ "$code" = "$1" ] || fail "exit status $code, not $1"
}
# The files F2 and F3 wrote (their contents are checked headless): the sweep holds the 401
# corrected points.
key_files() {
  eventually compgen -G "$run/corvane-*.png" >/dev/null && eventually compgen -G "$run/corvane-*.s2p" >/dev/null ||
    fail "no screenshot file after F2 or no Touchstone file after F3"
  local sweep=("$run"/corvane-*.s2p)
  [ "$(grep -c '^[0-9]' "${sweep[0]}")" = 401 ] && grep -q '^! calibration: applied' "${sweep[0]}" ||
    fail "the Touchstone file does not hold the 401 points of the corrected sweep"
}
# The program started again and connected.
connected() { start_program && page startup && click 212 24 && status connected; }
# File $1 written, and the same as $2 when that was saved from the same calibration.
saved_cal() {
  [ -s "$run/$1" ] || fail "$1 was not written"
  [ ! -e "$run/$2" ] || cmp -s "$run/$1" "$run/$2" || fail "$1 differs from $2, saved from the same calibration"
}
one_line() { [ "$(wc -l <"$run/corvane.log")" = 1 ] || fail "not one line on stderr"; }
no_display() {
  local code=0 && env -u DISPLAY "$corvane" >"$run/corvane.log" 2>&1 || code=$?
  [ "$code" = 1 ] || fail "exit status $code, not 1"
}

# The workflow: a row of what the operator does and what the window must then show,
# separated by " | "; a row beginning with "if:NAME " runs only when the variable NAME is
# not empty ($built: the program as built).
workflow=(
  # start-up: the main page, the simulator found as COM1; CONNECT: the analyser answers
  "start_program | page startup"
  "click 212 24 | status connected"
  # the five standards, the simulator switched between them; CAL APPLY
  "ctl 'dut open'; click 896 232 | status open"
  "ctl 'dut short'; click 896 272 | status short"
  "ctl 'dut load'; click 896 312 | status load"
  "ctl 'dut isolation'; click 896 352 | status isolation"
  "ctl 'dut thru'; click 896 392 | status thru"
  "click 926 432 | status calibrated"
  # SCAN of a 10 pF capacitor (an arc on the lower rim); F2 and F3: the screen as a PNG file
  # and the sweep as a Touchstone file in the program's folder
  "ctl 'dut c 10p'; click 464 24 | status scanned; page c10p"
  "key F2; key F3 | key_files"
  # the RLC tab shows the capacitor's value; on the S11 tab a press on the chart moves the
  # marker there
  "click 424 61 | expect rlc_c10p 16 48 816 501"
  "click 100 61; click 296 405 | expect smith_marker 0 48 832 501"
  # SAVE CAL in the program's own dialog, LOAD CAL of that file
  "click 926 474 | blank='205,88 700,112' expect dialog_save 0 0 1024 600"
  "type_text bench.cal; key Return | status saved; saved_cal bench.cal vna.cal"
  "click 926 520; type_text bench.cal; key Return | status loaded"
  # a larger window: the page scaled, the pointer still on its objects
  "if:built xdotool windowsize \"\$W\" 1280 750; width=1280 height=750 | page scaled"
  "if:built click 262 61 | expect scaled_s21 0 0 1024 600"
  # STOP during a slow sweep of 2001 points at the line's real rate
  "if:built click 887 86; type_text 2001; key Return; click 868 120; ctl 'pace on'; click 464 24 | status scanning"
  "if:built click 680 24 | status aborted"
  # EXIT: the program ends with status 0
  "click 781 24 | ended_with 0"
  # started again and connected, the window closed as a window manager closes it: status 0;
  # destroyed from outside: one line, status 1; no display: one line, status 1
  "if:wm_close connected; \"\$wm_close\" \"\$W\" | ended_with 0"
  "if:built connected; xdotool windowclose \"\$W\" | ended_with 1; one_line"
  "if:built : | no_display; one_line"
)
for row in "${workflow[@]}"; do
  [[ $row =~ ^if:([a-z_]+)\ (.*)$ ]] && { [ -n "${!BASH_REMATCH[1]}" ] || continue; } && row=${BASH_REMATCH[2]}
  step_text=$row && echo "-- $row"
  eval "${row/ | /; }"
done
echo "window.sh: the whole workflow passed"
