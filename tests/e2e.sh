#!/usr/bin/env bash
# End-to-end: zebdiag.exe against zebsim under Wine on the test run's display,
# driven with real keys; checked through the clipboard, the status bar, the
# title, the files it writes and the simulator's trace.
#   e2e.sh ZEBDIAG.EXE WINTEXT.EXE     (run by ctest from scripts/test.sh)
set -uo pipefail
exe=$1 wintext=$2
: "${ZEB_BUILD:?}" "${ZEB_SIM_LINE:?}" "${DISPLAY:?}"
work=$ZEB_BUILD/e2e
rm -rf "$work" && mkdir -p "$work"
trace=$work/sim.trace
sim="" prog="" wid=""
. "$(dirname "$0")/check.sh"

wait_for() {   # wait_for SECONDS COMMAND...
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -ge $end ] && return 1; sleep 0.1; done
}
sim_line=(--link "$ZEB_SIM_LINE")   # the program's default COM1
start_sim() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null
  rm -f "$trace"
  "$ZEB_BUILD/sim/zebsim" "${sim_line[@]}" --pattern --baud 115200 --trace "$trace" "$@" \
    >>"$work/sim.log" 2>&1 &
  sim=$!
  wait_for 5 grep -qs ready "$trace"
}
# The program in $work with no settings file, or one holding SETTINGS (INI
# lines); leaves its window in $wid.
start_program() {   # start_program [SETTINGS]
  rm -f "$work/zebdiag.ini"
  [ -n "${1:-}" ] && printf '%s\r\n' "$1" >"$work/zebdiag.ini"
  wine "$exe" >>"$work/zebdiag.log" 2>&1 &
  prog=$!
  wait_for 30 bash -c "xdotool search --name '^ZEB Zuvaririzadure - ' >/dev/null" || return 1
  wid=$(xdotool search --name '^ZEB Zuvaririzadure - ' | head -1)
  sleep 1
}
records() { grep -c '^record' "$trace" 2>/dev/null || echo 0; }
key() { xdotool windowfocus --sync "$wid" key --delay 30 "$@"; sleep 0.3; }
clip() { xclip -o -selection clipboard 2>/dev/null; }
status() { wine "$wintext" 2>/dev/null | tr -d '\r'; }
title() { xdotool getwindowname "$wid"; }
dos() { winepath -w "$1" 2>/dev/null; }
# dialog CAPTION [NOT-ID]: waits for a window with exactly that caption (other
# than NOT-ID), focuses it and leaves its id in $dlg
dialog() {
  dlg=""
  local end=$((SECONDS + 15)) w
  while [ $SECONDS -lt $end ]; do
    for w in $(xdotool search --name "^$1\$" 2>/dev/null); do
      [ "$w" != "${2:-}" ] && dlg=$w
    done
    [ -n "$dlg" ] && break
    sleep 0.2
  done
  [ -n "$dlg" ] || return 1
  sleep 0.5
  xdotool windowfocus --sync "$dlg"
}
gone() { wait_for 15 bash -c "! xdotool getwindowname $1 >/dev/null 2>&1"; }
start_log() {   # start_log PATH: Alt+L, the log named PATH (the program adds the time)
  key alt+l
  if dialog "Logging filename"; then
    xdotool type --delay 20 "$(dos "$1")"; xdotool key Return
    gone "$dlg"
  fi
}
# Escape, Yes: the program ends in order.
quit_program() {
  key Escape
  dialog "ZEB Zuvaririzadure" && xdotool key Return
  wait_for 15 bash -c "! kill -0 $prog 2>/dev/null"
  prog=""
}
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null
  [ -n "$prog" ] && kill "$prog" 2>/dev/null
  umount "$work/readonly" 2>/dev/null
}
trap cleanup EXIT

# zebsim --pattern: offset 20, beam b of rod pair 1 reads 40 + 37b mod 200 above it.
expected_abs() {
  local first=$1 last=$2 b
  printf 'Nr.\tAbs\n'
  for ((b = first; b <= last; b++)); do
    v=$((20 + 40 + (37 * b) % 200)); [ $v -gt 255 ] && v=255
    printf '%d\t%d\n' $b $((v - 20))
  done
}

start_sim
cd "$work"
start_program || { echo "no window"; exit 1; }
check "ready at start" "Ready" "$(status)"
check "title at start" "ZEB Zuvaririzadure - Signalstärke, aktuell (Leistenpaar 1)" "$(title)"

# Alt+1 measures once, Alt+C copies exactly the simulator's values less the offset.
key alt+1
wait_for 5 grep -qs '^record 1' "$trace"; sleep 0.5
key alt+c
check "single measurement on the clipboard" "$(expected_abs 1 100)" "$(clip)"
check "single measurement: command, no trigger, quit" "ready|command ~s 0 1 100 0 0|record 1 bytes 137|quit q" \
  "$(tr '\n' '|' <"$trace" | sed 's/|$//')"

# F5..F8 switch the value type; the title follows the thread's take-over.
key F7; sleep 0.5
check "F7 title" "ZEB Zuvaririzadure - Empfängerrückmeldewerte, aktuell (Leistenpaar 1)" "$(title)"
key F6; sleep 0.5
check "F6 title" "ZEB Zuvaririzadure - Senderrückmeldewerte, aktuell (Leistenpaar 1)" "$(title)"
key F8; sleep 0.5
check "F8 title" "ZEB Zuvaririzadure - Bezugswerte, aktuell (Leistenpaar 1)" "$(title)"
key F5; sleep 0.5
check "F5 title" "ZEB Zuvaririzadure - Signalstärke, aktuell (Leistenpaar 1)" "$(title)"

# Alt+A runs continuously and stops again.
start_sim
key alt+a
sleep 2
check "continuous: connected" "Connected at COM1:" "$(status)"
key alt+a
sleep 1
check "continuous: ready after stop" "Ready" "$(status)"
check "continuous: triggers sent" "yes" "$(grep -q '^trigger 1' "$trace" && echo yes)"
check "continuous: ends with quit" "quit q" "$(grep -v '^exit' "$trace" | tail -1)"
check "continuous: many cycles" "yes" "$([ "$(records)" -gt 20 ] && echo yes)"

# Alt+1 during continuous measurement: one more cycle, then idle, no error.
start_sim
key alt+a; sleep 1
key alt+1; sleep 1
check "single during continuous: ready" "Ready" "$(status)"
key alt+c
check "single during continuous: values" "$(expected_abs 1 100)" "$(clip)"

# Alt+N then Alt+V: references are the current values, so the copy shows them twice.
key alt+1; sleep 1
key alt+n
key alt+v; sleep 0.3
key alt+c
check "normalised relative export" "$(expected_abs 1 100 | awk -F'\t' 'NR == 1 {print $0 "\tRef."; next} {print $1 "\t" $2 "\t" $2}')" "$(clip)"
check "relative title" "ZEB Zuvaririzadure - Relative Signalstärke, aktuell (Leistenpaar 1)" "$(title)"
key alt+v

# Reference import: two-column lines count, everything else is skipped.
printf 'Nr.\tAbs\r\n1\t100\r\n2 90\r\n3\t80\t75\r\nx\r\n' >"$work/ref.txt"
key alt+d
if dialog "Import reference file"; then
  files=$dlg
  xdotool type --delay 20 "$(dos "$work/ref.txt")"; xdotool key Return
  gone "$files"
  dialog "Import reference file" "$files" && xdotool key Return && gone "$dlg"
fi
sleep 0.5
key alt+v; key alt+c
check "imported references" "$(printf 'Nr.\tAbs\tRef.\n1\t77\t100\n2\t114\t90\n3\t151\t0')" "$(clip | head -4)"
key alt+v

# A fault on the line: the error shows in the status bar and the program goes on.
start_sim --fault silence --fault-at 1 --fault-count 0
key alt+1; sleep 1.5
check "fault in the status bar" "RS232-Error: offset timeout" "$(status)"
start_sim
key alt+1; sleep 1
check "works again after the fault" "Ready" "$(status)"

# The beam range changes while measuring continuously.
key alt+a; sleep 1
key ctrl+p
if dialog "Parameter"; then
  xdotool key --delay 50 alt+e; xdotool type "5"
  xdotool key --delay 50 alt+l; xdotool type "20"
  xdotool key Return; sleep 0.5; xdotool key Escape
  wait_for 5 bash -c "[ -z \"\$(xdotool search --onlyvisible --name '^Parameter\$')\" ]"
fi
sleep 1
key alt+a; sleep 0.5
key alt+c
check "new range while running" "$(expected_abs 5 20)" "$(clip)"
check "new range sent after a stop" "yes" "$(grep -A1 '^stop 0' "$trace" | grep -q 'command ~s 0 5 20 0 0' && echo yes)"
check "range kept running" "Ready" "$(status)"

# Logging through a thousand cycles: one complete line per published cycle.
start_sim
start_log "$work/run"
sleep 0.5
log=$(ls "$work"/run_*.log 2>/dev/null | head -1)
check "log file created" "yes" "$([ -n "$log" ] && echo yes)"
key alt+a
wait_for 240 bash -c "[ \$(grep -c '^record' '$trace') -ge 1000 ]"
key alt+a; sleep 1
key alt+l; sleep 1
if [ -n "$log" ]; then
  lines=$(tail -n +4 "$log" | wc -l)
  check "one log line per cycle" "$(records)" "$lines"
  check "at least 1000 cycles logged" "yes" "$([ "$lines" -ge 1000 ] && echo yes)"
  check "log header" "Zeit        	Erster	Letzter	Leiste	Werte" "$(sed -n 3p "$log" | tr -d '\r')"
  check "complete lines" "$lines" "$(tail -n +4 "$log" | awk -F'\t' 'NF == 20 && $2 == 5 && $3 == 20' | wc -l)"
  check "logged values match the export" "$(expected_abs 5 20 | tail -n +2 | cut -f2 | tr '\n' ' ')" \
    "$(tail -n 1 "$log" | tr -d '\r' | cut -f5- | tr '\t' ' ') "
fi

# Logging stopped during a slow cycle and a new bit rate applied at once: the
# window keeps answering and the link stops without an error.
start_sim --baud 300
start_log "$work/slow"
key alt+a; sleep 1.5
key alt+l
key ctrl+p
if dialog "Parameter"; then
  xdotool key --delay 50 alt+r Tab Home shift+End; xdotool type "9600"
  xdotool key Return; sleep 0.5; xdotool key Escape
  wait_for 5 bash -c "[ -z \"\$(xdotool search --onlyvisible --name '^Parameter\$')\" ]"
fi
check "new bit rate while the log closes: window answers" "yes" \
  "$(wait_for 5 bash -c "[ \"\$(timeout 5 wine '$wintext' 2>/dev/null | tr -d '\r')\" = Ready ]" && echo yes)"
check "slow log holds its header" "yes" "$([ "$(cat "$work"/slow_*.log 2>/dev/null | wc -l)" -ge 3 ] && echo yes)"

# Screenshots of both views.
import -window root -crop 960x780+0+0 "$work/flipped.png"
key alt+f; sleep 0.5
import -window root -crop 960x780+0+0 "$work/normal.png"
key alt+f

# Escape asks first; Yes ends the program, which writes its settings.
key Escape
if dialog "ZEB Zuvaririzadure"; then echo "question $dlg"; xdotool key Return; else echo "no exit question"; fi
if ! wait_for 15 bash -c "! kill -0 $prog 2>/dev/null"; then
  echo "still running; windows:"
  for w in $(xdotool search --name . 2>/dev/null); do echo "  $w $(xdotool getwindowname "$w")"; done
  import -window root "$work/exit-failed.png"
fi
prog=""
ini=$work/zebdiag.ini
check "settings written" "yes" "$([ -f "$ini" ] && echo yes)"
check "window rectangle stored" "yes" "$(grep -q '^Right=[1-9]' "$ini" && grep -q '^Bottom=[1-9]' "$ini" && echo yes)"
check "bit rate from the dialog stored" "ComSpeed=9600" "$(grep '^ComSpeed=' "$ini" | tr -d '\r')"
check "range stored" "FirstBeam=5 LastBeam=20" "$(grep -E '^(FirstBeam|LastBeam)=' "$ini" | tr -d '\r' | tr '\n' ' ' | sed 's/ $//')"

# Two quick close requests while measuring: the second ends the thread at once,
# and the program still ends in order.
start_sim --baud 9600
start_program
key alt+a; sleep 1.5
xdotool windowfocus --sync "$wid" key alt+F4 alt+F4
check "two close requests end the program" "yes" "$(wait_for 10 bash -c "! kill -0 $prog 2>/dev/null" && echo yes)"
prog=""
check "settings written after two close requests" "yes" "$([ -f "$ini" ] && echo yes)"
check "the line was left with quit" "quit q" "$(grep -v '^exit' "$trace" | tail -1)"

# A USB adapter numbered COM12: the far end of the test line COM12<->COM23.
sim_line=(--tty "$ZEB_BUILD/vports/com23")
start_sim
start_program "$(printf '[Communication]\r\nComPort=COM12:')"
key alt+a; sleep 1.5
check "COM12: connected" "Connected at COM12:" "$(status)"
key alt+a; sleep 1
key alt+c
check "COM12: values" "$(expected_abs 1 100)" "$(clip)"
quit_program
check "COM12: stored as given" "ComPort=COM12:" "$(grep '^ComPort=' "$ini" | tr -d '\r')"
sim_line=(--link "$ZEB_SIM_LINE")

# Started from a folder the user may not write: the exit says so, naming the
# settings file, then the program ends.
ro=$work/readonly
mkdir -p "$ro"
mount -t tmpfs -o ro,size=16k zebro "$ro" 2>/dev/null || chmod a-w "$ro"
if touch "$ro/probe" 2>/dev/null; then
  echo "No read-only folder could be made: the unsaved-settings case is skipped."
else
  cd "$ro" && start_program
  cd "$work"
  key Escape
  dialog "ZEB Zuvaririzadure" && xdotool key Return
  dialog "ZEB Zuvaririzadure" "$dlg"
  check "read-only folder: the exit names the settings file" \
    "$(printf 'Die Einstellungen konnten nicht gespeichert werden:\n%s\\zebdiag.ini' "$(dos "$ro")")" \
    "$(wine "$wintext" "ZEB Zuvaririzadure" 2>/dev/null | tr -d '\r')"
  xdotool key Return
  check "read-only folder: the program ends after the message" "yes" \
    "$(wait_for 15 bash -c "! kill -0 $prog 2>/dev/null" && echo yes)"
  prog=""
fi
umount "$ro" 2>/dev/null; rm -rf "$ro"

# ---------------------------------------------------------------------------
# zebreport: the program logs a run against zebsim with beams 5, 17 and 40
# weakened; zebreport (native and .exe) turns the log into a page, the headless
# browser renders it, and the rendered page names exactly those beams.
rdir=$work/report
mkdir -p "$rdir"
[ -n "$sim" ] && kill "$sim" 2>/dev/null
rm -f "$trace"
"$ZEB_BUILD/sim/zebsim" --link "$ZEB_SIM_LINE" --baud 115200 --seed 3 --weak 5,17,40 --trace "$trace" \
  >>"$work/sim.log" 2>&1 &
sim=$!
wait_for 5 grep -qs ready "$trace"
start_program
start_log "$rdir/weak"
key alt+a
wait_for 120 bash -c "[ \$(grep -c '^record' '$trace') -ge 400 ]"
key alt+a; sleep 1
key alt+l; sleep 1
quit_program
rlog=$(cd "$rdir" && ls weak_*.log 2>/dev/null | head -1)
check "report: log written" "yes" "$([ -n "$rlog" ] && echo yes)"
(
  cd "$rdir" || exit
  "$ZEB_BUILD/report/zebreport" --min 30 "$rlog" -o report.html --csv report.csv 2>native.err
  echo $? >native.rc
  wine "$(dirname "$exe")/zebreport.exe" --min 30 "$rlog" -o exe.html --csv exe.csv >exe.out 2>exe.err </dev/null
  echo $? >exe.rc
)
check "report: exit status 1 for weak beams" "1 1" "$(cat "$rdir/native.rc" "$rdir/exe.rc" | tr '\n' ' ' | sed 's/ $//')"
check "report: one line on stderr" "1 zebreport: 3 of 100 beams flagged: 5, 17, 40" \
  "$(wc -l <"$rdir/native.err") $(cut -d' ' -f1-9 "$rdir/native.err")"
check "report: native and exe write the same page" "yes" "$(cmp -s "$rdir/report.html" "$rdir/exe.html" && echo yes)"
browser=$(command -v chromium-headless-shell || command -v chromium)
profile=$(mktemp -d)
render() {
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$profile" \
    "$@" "file://$rdir/report.html" 2>>"$rdir/browser.log"
}
render --dump-dom >"$rdir/dom.html"
render --screenshot="$rdir/report.png" --window-size=1000,1500 >/dev/null
rm -rf "$profile"
check "report: the rendered page names exactly the weak beams" "5 17 40 | 3 von 100 Strahlen auffällig: 5, 17, 40" \
  "$(python3 - "$rdir/dom.html" <<'PY'
import sys
from html.parser import HTMLParser

class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.table = self.cell = self.verdict = False
        self.beams, self.text = [], ''
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.table |= a.get('id') == 'flagged'
        self.cell = self.table and tag == 'td' and 'beam' in a.get('class', '').split()
        self.verdict = 'verdict' in a.get('class', '').split()
    def handle_endtag(self, tag):
        self.table &= tag != 'table'
        self.cell = self.verdict = False
    def handle_data(self, data):
        if self.cell:
            self.beams.append(data.strip())
        if self.verdict:
            self.text += data

p = Page()
p.feed(open(sys.argv[1], encoding='utf-8').read())
print(' '.join(p.beams), '|', p.text.strip())
PY
)"
check "report: screenshot of the rendered page" "yes" "$([ -s "$rdir/report.png" ] && echo yes)"

# ---------------------------------------------------------------------------
# Replay: the program measures continuously with its log on against zebsim
# playing back the log it wrote above; its new log holds the recording's
# values cycle for cycle (time stamps aside), in the B64 and the old protocol.
values() { tail -n +4 "$1" | tr -d '\r' | cut -f2-; }
for proto in 1 0; do
  [ -n "$sim" ] && kill "$sim" 2>/dev/null
  rm -f "$trace"
  "$ZEB_BUILD/sim/zebsim" --link "$ZEB_SIM_LINE" --baud 115200 --replay "$rdir/$rlog" --trace "$trace" \
    >>"$work/sim.log" 2>&1 &
  sim=$!
  wait_for 5 grep -qs ready "$trace"
  start_program "$(printf '[Misc]\r\nZEBprotocol=%d' $proto)"
  start_log "$rdir/replay$proto"
  key alt+a
  wait_for 120 bash -c "[ \$(grep -c '^record' '$trace') -ge 150 ]"
  key alt+a; sleep 1
  key alt+l; sleep 1
  quit_program
  again=$(ls "$rdir"/replay${proto}_*.log 2>/dev/null | head -1)
  lines=$([ -n "$again" ] && values "$again" | wc -l)
  check "replay, protocol $proto: 150 cycles logged again" "yes" "$([ "${lines:-0}" -ge 150 ] && echo yes)"
  check "replay, protocol $proto: the recording's values cycle for cycle" "" \
    "$([ -n "$again" ] && diff <(values "$rdir/$rlog" | head -n "$lines") <(values "$again") | head -4)"
done

# ---------------------------------------------------------------------------
# The session ends (shutdown, logoff, a restart for updates) while logging
# continuously: the program ends, its log holds every cycle up to then in
# whole lines, and its settings are written. Last: it ends every program.
start_sim
cd "$work"
start_program
start_log "$work/session"
key alt+a
wait_for 60 bash -c "[ \$(grep -c '^record' '$trace') -ge 100 ]"
wineboot --end-session >/dev/null 2>&1
check "session end: the program ends" "yes" "$(wait_for 15 bash -c "! kill -0 $prog 2>/dev/null" && echo yes)"
prog=""
slog=$(ls "$work"/session_*.log 2>/dev/null | head -1)
check "session end: the log ends with a whole line" "0a" "$(tail -c 1 "$slog" | od -An -tx1 | tr -d ' ')"
check "session end: every cycle logged, each line whole (100 beams)" "$(records) $(records)" \
  "$(tail -n +4 "$slog" | wc -l) $(tail -n +4 "$slog" | awk -F'\t' 'NF == 104' | wc -l)"
check "session end: settings written" "yes" "$([ -f "$work/zebdiag.ini" ] && echo yes)"

echo "e2e: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
