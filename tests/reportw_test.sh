#!/usr/bin/env bash
# The report window end to end: zebreportw.exe under Wine on the test run's
# display, started as Explorer starts it with logs or a folder dropped on it
# (their paths as arguments), driven with real keys; checked through the
# pages it writes, its fields and message boxes (read by reportw_peek, since
# X shows no control texts) and the PE header.
#   reportw_test.sh ZEBREPORTW.EXE REPORTW_PEEK.EXE RESOURCE_HEADER   (run by ctest from scripts/test.sh)
# The window's screenshot goes to build/reportw/reportw.png; with
# ZEB_UPDATE_DOCS=1 also to docs/reportw.png.
set -uo pipefail
exe=$1 peek=$2 ids=$3
: "${ZEB_BUILD:?}" "${DISPLAY:?}"
work=$ZEB_BUILD/reportw
rm -rf "$work" && mkdir -p "$work"
. "$(dirname "$0")/check.sh"
export ZEB_NO_BROWSER=1   # the pages are checked here, no browser opens them
title='Servicebericht und Prüfplan'
prog="" wid="" dlg=""

id() { awk -v n="$1" '$1 == "#define" && $2 == n { print $3 }' "$ids"; }
wait_for() {   # wait_for SECONDS COMMAND...
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -ge $end ] && return 1; sleep 0.2; done
}
dos() { winepath -w "$1" 2>/dev/null; }
peek() { wine "$peek" "$title" "$@" 2>/dev/null | tr -d '\r'; }
field() { peek item "$(id "$1")"; }
checked() { peek checked "$(id "$1")"; }
windows() { xdotool search --name "^$title\$" 2>/dev/null; }
# start PATH...: the window with those paths dropped on it; its id in $wid.
start() {
  local args=() p
  for p in "$@"; do args+=("$(dos "$p")"); done
  wine "$exe" "${args[@]}" >>"$work/wine.log" 2>&1 &
  prog=$!
  wait_for 30 bash -c "xdotool search --name '^$title\$' >/dev/null 2>&1" || { echo "no window"; return 1; }
  wid=$(windows | head -1)
  sleep 1
}
key() { xdotool windowfocus --sync "$wid" key --delay 40 "$@"; sleep 0.4; }
# box: waits for the window's message box (its caption is the window's);
# leaves its id in $dlg, focused.
box() {
  dlg=""
  local end=$((SECONDS + 20)) w
  while [ -z "$dlg" ] && [ $SECONDS -lt $end ]; do
    for w in $(windows); do [ "$w" != "$wid" ] && dlg=$w; done
    sleep 0.2
  done
  [ -n "$dlg" ] || return 1
  sleep 0.5
  xdotool windowfocus --sync "$dlg"
}
gone() { wait_for 15 bash -c "! xdotool getwindowname $1 >/dev/null 2>&1"; }
quit() {
  key Escape
  wait_for 15 bash -c "! kill -0 $prog 2>/dev/null" || echo "the window did not close"
  prog=""
}
made() { wait_for 30 test -s "$1"; }   # made FILE
cleanup() { [ -n "$prog" ] && kill "$prog" 2>/dev/null; }
trap cleanup EXIT

# An archive with two grids; the first has three visits, the last one an as
# found with beam 17 weak and an as left after cleaning. Names with spaces and
# an umlaut, as on a German file share.
python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
def log(path, date, hour, values):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    text = 'ZEB Zuvaririzadure - Signalst\xe4rke, aktuell (Leistenpaar 1)\nDate: %s\n' % date
    text += 'Zeit        \tErster\tLetzter\tLeiste\tWerte\n'
    for i in range(30):
        ms = hour * 3600000 + 40 * i
        text += '%02d:%02d:%02d,%03d\t1\t%d\t0\t' % (ms // 3600000, ms // 60000 % 60, ms // 1000 % 60, ms % 1000,
                                                     len(values))
        text += '\t'.join(str(v + i % 3) for v in values) + '\n'
    with open(path, 'wb') as f:
        f.write(text.replace('\n', '\r\n').encode('cp1252'))
def card(folder, customer, serial):
    with open(os.path.join(folder, 'grid.ini'), 'wb') as f:
        f.write(('[Grid]\nCustomer=%s\nSite=Werk 2, Halle 4\nMachine=Presse 12\nGrid=Lichtgitter links\n'
                 'Serial=%s\nIntervalMonths=6\n[Limits]\nLimitMinAbs=60\n' % (customer, serial))
                .replace('\n', '\r\n').encode('cp1252'))
grid = os.path.join(work, 'Archiv Süd', 'Muster GmbH', 'Presse 12 links')
good = [150 + b % 40 for b in range(1, 41)]
weak = [20 if b == 17 else v for b, v in enumerate(good, 1)]
log(os.path.join(grid, '2023-05', 'site_20230503T090000.log'), '2023-05-03', 9, good)
log(os.path.join(grid, '2023-11', 'site_20231102T090000.log'), '2023-11-02', 9, good)
log(os.path.join(grid, '2024-05', 'site_20240501T090000.log'), '2024-05-01', 9, weak)
log(os.path.join(grid, '2024-05', 'site_20240501T100000.log'), '2024-05-01', 10, good)
card(grid, 'Muster GmbH', 'ZG-2023-0815')
other = os.path.join(work, 'Archiv Süd', 'Beispiel AG', 'Linie 3')
log(os.path.join(other, 'l3_20240402T080000.log'), '2024-04-02', 8, good)
card(other, 'Beispiel AG', 'ZG-2021-0042')
PY
archive="$work/Archiv Süd"
grid="$archive/Muster GmbH/Presse 12 links"
found="$grid/2024-05/site_20240501T090000.log"
left="$grid/2024-05/site_20240501T100000.log"
wine reg delete 'HKCU\Software\zebdiag\zebreportw' /f >/dev/null 2>&1

# A GUI program: no console comes with it.
check "PE subsystem: Windows GUI" "2" "$(python3 -c '
import struct, sys
d = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", d, 0x3c)[0]
print(struct.unpack_from("<H", d, pe + 24 + 68)[0] if d[pe:pe + 4] == b"PE\0\0" else "no PE")' "$exe")"

# Two logs dropped (in the wrong order): the grid's identity shows before
# anything is made; Return makes a German report beside them.
start "$left" "$found"
check "report: the first choice" "1" "$(checked IDC_KIND_REPORT)"
check "report: the grid's identity from its card" \
  "$(printf 'Kunde: Muster GmbH    Standort: Werk 2, Halle 4\nMaschine: Presse 12    Gitter: Lichtgitter links\nSeriennummer: ZG-2023-0815')" \
  "$(field IDC_IDENTITY)"
check "report: the page beside the logs" "$(dos "$grid/2024-05")\\Servicebericht.html" "$(field IDC_TARGET)"
check "report: only the window, no console" "$wid" "$(xdotool search --onlyvisible --name . 2>/dev/null)"
key alt+k
xdotool type --delay 40 "Jörg Müller"
key Return
page="$grid/2024-05/Servicebericht.html"
check "report: page written" "yes" "$(made "$page" && echo yes)"
check "report: German, with the card and the technician" "yes" \
  "$(grep -q '<title>Servicebericht' "$page" && grep -q 'Prüfer' "$page" && grep -q 'Muster GmbH' "$page" &&
     grep -q 'Jörg Müller' "$page" && echo yes)"
check "report: both logs read" "yes" "$(grep -q 'site_20240501T090000.log' "$page" && grep -q 'site_20240501T100000.log' "$page" && echo yes)"
check "report: the window says what was made" \
  "$(printf 'Servicebericht erstellt, kein Strahl auffällig:\n%s' "$(dos "$page")")" "$(field IDC_STATUS)"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$wid")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip "$work/reportw.png"
check "report: screenshot" "yes" "$([ -s "$work/reportw.png" ] && echo yes)"
[ "${ZEB_UPDATE_DOCS:-}" = 1 ] && cp "$work/reportw.png" "$(dirname "$0")/../docs/reportw.png"
quit

# An existing page is replaced only after the question; the technician's
# name came back.
printf 'kept\n' >"$page"
start "$found" "$left"
check "remembered: the technician" "Jörg Müller" "$(field IDC_TECHNICIAN)"
key Return
if box; then
  check "replace: the question names the page" "Die Datei $(dos "$page") existiert bereits. Ersetzen?" "$(peek box)"
  xdotool key Return   # No is the default
  gone "$dlg"
fi
sleep 1
check "replace: No keeps the page" "kept" "$(cat "$page")"
key Return
if box; then
  xdotool key shift+Tab Return   # Yes
  gone "$dlg"
fi
check "replace: Yes replaces it" "yes" "$(wait_for 20 grep -q '<title>Servicebericht' "$page" && echo yes)"
quit

# As found and as left: the first and the last log of the day, swappable.
start "$left" "$found"
key alt+v
check "visit: chosen" "1" "$(checked IDC_KIND_VISIT)"
check "visit: as found, as left" "site_20240501T090000.log site_20240501T100000.log" "$(field IDC_FOUND) $(field IDC_LEFT)"
key F6
check "visit: F6 swaps them" "site_20240501T100000.log site_20240501T090000.log" "$(field IDC_FOUND) $(field IDC_LEFT)"
key F6
key Return
visit="$grid/2024-05/Vorher-Nachher.html"
check "visit: page written" "yes" "$(made "$visit" && echo yes)"
check "visit: German as found and as left" "yes" "$(grep -q 'vorgefunden und hinterlassen' "$visit" && echo yes)"
check "visit: the window says what was made" \
  "$(printf 'Vorher / Nachher erstellt, nachher kein Strahl außerhalb der Grenzen:\n%s' "$(dos "$visit")")" "$(field IDC_STATUS)"
quit

# A grid's folder: its history.
start "$grid"
check "history: chosen for a grid's folder" "1" "$(checked IDC_KIND_HISTORY)"
check "history: the card's identity" "yes" "$(field IDC_IDENTITY | grep -q 'Seriennummer: ZG-2023-0815' && echo yes)"
key Return
history="$grid/Verlauf.html"
check "history: page written in the grid's folder" "yes" "$(made "$history" && echo yes)"
check "history: German, three visits" "yes" "$(grep -q 'Verlauf des Lichtgitters: 3 ' "$history" && echo yes)"
quit

# An archive: the plan, each grid's page in a folder below, and the CSV.
start "$archive"
check "plan: chosen for an archive" "1" "$(checked IDC_KIND_PLAN)"
check "plan: the page in the archive" "$(dos "$archive")\\Prüfplan.html" "$(field IDC_TARGET)"
key alt+g alt+w
key Return
plan="$archive/Prüfplan.html"
check "plan: page written" "yes" "$(made "$plan" && echo yes)"
check "plan: German, both grids" "yes" \
  "$(grep -q 'Prüfplan: 2 Lichtgitter' "$plan" && grep -q 'Beispiel AG' "$plan" && grep -q 'Muster GmbH' "$plan" && echo yes)"
check "plan: CSV beside it" "yes" "$(grep -q $'^\xef\xbb\xbfCustomer;Site;' "$archive/Prüfplan.csv" && echo yes)"
check "plan: each grid's page in the subfolder" "2" "$(ls "$archive/Gitterseiten"/*.html 2>/dev/null | wc -l)"
quit

# A log that cannot be opened: a German message naming it; the window stays.
mkdir -p "$work/lose"
missing="$work/lose/fehlt_20240502T090000.log"
start "$missing"
key Return
if box; then
  check "error: German, naming the log" \
    "$(printf 'Das Log kann nicht geöffnet werden:\n%s\n\nDatei oder Ordner nicht gefunden.' "$(dos "$missing")")" "$(peek box)"
  xdotool key Return
  gone "$dlg"
else
  check "error: message box" "shown" "none"
fi
check "error: nothing said to be made" "" "$(field IDC_STATUS)"
quit

echo "reportw: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
