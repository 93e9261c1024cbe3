#!/usr/bin/env bash
# The release as a technician gets it. scripts/release.sh builds the zip from
# the working tree twice, in two folders, and fails unless both builds are
# byte for byte the same; here the checksum file verifies, the zip holds what
# it should, and, unpacked into an empty folder in a fresh Wine prefix, each
# program runs from there: zebdiag.exe shows its window and writes its
# settings into that folder at exit, reads the sample settings unchanged,
# zebreport.exe makes the same page as the native build, zebreportw.exe
# opens its window.
#   release_test.sh VERSION VERINFO.EXE ZEBREPORT ZEBSIM    (run by ctest)
set -uo pipefail
version=$1 verinfo=$2 report=$3 zebsim=$4
: "${ZEB_BUILD:?}" "${DISPLAY:?}"
root=$(cd "$(dirname "$0")/.." && pwd)
out=$ZEB_BUILD/release-test
tmp=$(mktemp -d /tmp/zebrelease-test.XXXXXX)
dir=$tmp/zebdiag
prog=""
. "$(dirname "$0")/check.sh"

cleanup() {
  [ -n "$prog" ] && kill "$prog" 2>/dev/null
  WINEPREFIX=$tmp/prefix wineserver -k >/dev/null 2>&1
  rm -rf "$tmp"
}
trap cleanup EXIT

# The refusals, in a small repository of the script's own: an untracked file
# (an example's output) does not block the release, a version the changelog
# has no entry for does, and so does a changed tracked file, by name.
repo=$tmp/repo
mkdir -p "$repo/scripts"
cp "$root/scripts/release.sh" "$root/scripts/deps.sh" "$repo/scripts/"
printf 'project(zebdiag VERSION 9.9.9 LANGUAGES C CXX)\n' >"$repo/CMakeLists.txt"
printf '# Changelog\n\n## 9.9.0 — 2026-01-01\n' >"$repo/CHANGELOG.md"
git -C "$repo" init -q && git -C "$repo" add -A && git -C "$repo" -c user.name=t -c user.email=t commit -qm t
echo '{}' >"$repo/result.json"
refusal() { "$repo/scripts/release.sh" --out "$tmp/refused" 2>&1 >/dev/null | cut -d'(' -f1; }
check "an untracked file does not block; a version without a changelog entry does" \
  "release: CHANGELOG.md has no entry for version 9.9.9 " "$(refusal)"
echo '## 9.9.9 — 2026-12-10' >>"$repo/CHANGELOG.md"
check "a changed tracked file refuses, named" "release: tracked files differ from the commit: CHANGELOG.md " "$(refusal)"

# test.sh starts the two builds beside the Wine tests and names the file
# their exit status goes to; run alone, the test builds here.
if [ -n "${ZEB_RELEASE_RC:-}" ]; then
  until [ -s "$ZEB_RELEASE_RC" ]; do sleep 1; done
  rc=$(cat "$ZEB_RELEASE_RC")
else
  rm -rf "$out" && mkdir -p "$out"
  "$root/scripts/release.sh" --worktree --out "$out/dist" >"$out/release.log" 2>&1
  rc=$?
fi
check "release script" 0 $rc
[ $rc -eq 0 ] || { tail -20 "$out/release.log"; exit 1; }
zip=zebdiag-$version-win64.zip
check "SHA256SUMS verifies" "$zip: OK|zebdiag-$version-win64.msi: OK" \
  "$(cd "$out/dist" && sha256sum -c SHA256SUMS 2>&1 | paste -sd'|')"
# Every program the test run's build made (its tests are built elsewhere).
programs=$(cd "$ZEB_BUILD/win" && ls -- *.exe | xargs)
check "zip entries, sorted" "$(printf '%s\n' CHANGELOG.txt LIESMICH.txt README.txt $programs grid.sample.ini zebdiag.sample.ini | sort -f | xargs)" \
  "$(python3 -c 'import sys, zipfile; print(*zipfile.ZipFile(sys.argv[1]).namelist())' "$out/dist/$zip")"
mkdir -p "$dir"
python3 -m zipfile -e "$out/dist/$zip" "$dir"
cd "$dir" || exit 1
check "text files end their lines in CR LF" "" \
  "$(for f in *.txt *.ini; do [ "$(grep -c $'\r$' "$f")" = "$(wc -l <"$f")" ] || echo "$f"; done)"
check "the sample settings write German in the program's code page" "Schlüssel" \
  "$(grep -a -o -m1 $'Schl\xfcssel' zebdiag.sample.ini | iconv -f cp1252 -t utf-8)"

# The version, as Explorer's Properties and the command line show it.
for p in $programs; do
  check "$p version resource" \
    "fixed=$version.0 $version.0|description|FileVersion=$version|ProductName=zebdiag|ProductVersion=$version|OriginalFilename=$p" \
    "$("$root/scripts/wine-run.sh" "$verinfo" "Z:${dir//\//\\}\\$p" | tr -d '\r' | tee "$tmp/$p.info" |
      grep -v '^manifest=' | sed 's/^FileDescription=..*/description/' | tr '\n' '|' | sed 's/|$//')"
  # Run as invoker, Windows 10/11, GDI scaling; neither DPI awareness nor the
  # newer common controls, which would change the fixed layout.
  check "$p manifest" "asInvoker {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a} gdiScaling true, no dpiAware, no Common-Controls" \
    "$(python3 - "$tmp/$p.info" <<'PY'
import re, sys
m = [l for l in open(sys.argv[1], encoding='utf-8') if l.startswith('manifest=')][0]
level = re.search(r'requestedExecutionLevel level="(\w+)"', m)
os_id = re.search(r'supportedOS Id="([^"]+)"', m)
gdi = re.search(r'<gdiScaling[^>]*>(\w+)<', m)
print(level and level[1], os_id and os_id[1], 'gdiScaling', gdi and gdi[1] + ',',
      'dpiAware,' if 'dpiAware' in m else 'no dpiAware,', 'Common-Controls' if 'Common-Controls' in m else 'no Common-Controls')
PY
)"
done
check "zebsim --version" "zebsim $version" "$("$zebsim" --version)"

# From here on a prefix that has never seen the build.
export WINEPREFIX=$tmp/prefix
wineboot -i >/dev/null 2>&1
wineserver -p >/dev/null 2>&1
check "zebreport.exe --version" "zebreport $version" "$(wine ./zebreport.exe --version </dev/null 2>&1 | tr -d '\r')"

# zebreport.exe: a page from a log, the same as the native program's.
mkdir -p "$tmp/logs"
python3 - "$tmp/logs/grid_20240501T080000.log" <<'PY'
import sys
rows = ['08:00:%02d,%03d\t1\t8\t0\t%s' % (i // 25, i % 25 * 40, '\t'.join(str(150 + (b * 7 + i) % 9) for b in range(8)))
        for i in range(50)]
head = ['ZEB Zuvaririzadure - Signalst\xe4rke, aktuell (Leistenpaar 1)', 'Date: 2024-05-01',
        'Zeit        \tErster\tLetzter\tLeiste\tWerte']
open(sys.argv[1], 'wb').write('\r\n'.join(head + rows + ['']).encode('cp1252'))
PY
(
  cd "$tmp/logs" || exit
  wine "$dir/zebreport.exe" grid_20240501T080000.log -o exe.html </dev/null >exe.out 2>&1
  echo $? >exe.rc
  "$report" grid_20240501T080000.log -o native.html 2>/dev/null
)
check "zebreport.exe exit status" 0 "$(cat "$tmp/logs/exe.rc")"
check "zebreport.exe page" "same" "$(cmp -s "$tmp/logs/exe.html" "$tmp/logs/native.html" && echo same)"

# run_program: zebdiag.exe from the folder, closed with Escape and Yes; prints its title.
run_program() {
  wine ./zebdiag.exe >>"$tmp/zebdiag.log" 2>&1 &
  prog=$!
  local wid="" box="" i
  for i in $(seq 150); do
    wid=$(xdotool search --name '^ZEB Zuvaririzadure - ' 2>/dev/null | head -1) && [ -n "$wid" ] && break
    sleep 0.2
  done
  [ -n "$wid" ] || { echo "no window"; return; }
  sleep 1
  xdotool getwindowname "$wid"
  xdotool windowfocus --sync "$wid" key Escape
  for i in $(seq 75); do
    box=$(xdotool search --name '^ZEB Zuvaririzadure$' 2>/dev/null | tail -1) && [ -n "$box" ] && break
    sleep 0.2
  done
  [ -n "$box" ] && sleep 0.5 && xdotool windowfocus --sync "$box" key Return
  for i in $(seq 75); do kill -0 "$prog" 2>/dev/null || break; sleep 0.2; done
  prog=""
}
# ini_diff WRITTEN SAMPLE: the keys whose values differ, but for the window
# rectangle, which an exit stores (it must not be empty).
ini_diff() {
  python3 - "$1" "$2" <<'PY'
import configparser, sys
def read(path):
    c = configparser.ConfigParser(interpolation=None, comment_prefixes=(';',), strict=True)
    c.optionxform = str
    c.read(path, encoding='cp1252')
    return {(s, k): v for s in c.sections() for k, v in c[s].items()}
written, sample = read(sys.argv[1]), read(sys.argv[2])
rect = [int(written.get(('View', k), 0)) for k in ('Left', 'Top', 'Right', 'Bottom')]
if not (rect[2] > rect[0] and rect[3] > rect[1]):
    print('window rectangle', rect)
for key in sorted(set(written) | set(sample)):
    if key[1] not in ('Left', 'Top', 'Right', 'Bottom') and written.get(key) != sample.get(key):
        print('[%s] %s: %r, sample %r' % (key + (written.get(key), sample.get(key))))
PY
}

check "zebdiag.exe starts with its window" "ZEB Zuvaririzadure - Signalstärke, aktuell (Leistenpaar 1)" "$(run_program)"
check "zebdiag.exe writes its settings into its folder" "yes" "$([ -f zebdiag.ini ] && echo yes)"
# Gain is read but never written: the program's own file lacks only that key.
check "the program's defaults are the sample's" "[Parameter] Gain: None, sample '0'" \
  "$([ -f zebdiag.ini ] && ini_diff zebdiag.ini zebdiag.sample.ini)"
cp zebdiag.sample.ini zebdiag.ini
run_program >/dev/null
check "the sample settings are read unchanged" "" "$(ini_diff zebdiag.ini zebdiag.sample.ini)"

# The report window from the folder, in a prefix that remembers nothing yet;
# Escape closes it.
if [[ $programs == *zebreportw.exe* ]]; then
  ZEB_NO_BROWSER=1 wine ./zebreportw.exe >>"$tmp/zebreportw.log" 2>&1 &
  prog=$!
  wid=""
  for i in $(seq 150); do
    wid=$(xdotool search --name '^Servicebericht und Prüfplan$' 2>/dev/null | head -1) && [ -n "$wid" ] && break
    sleep 0.2
  done
  check "zebreportw.exe starts with its window" "Servicebericht und Prüfplan" "$([ -n "$wid" ] && xdotool getwindowname "$wid")"
  [ -n "$wid" ] && sleep 1 && xdotool windowfocus --sync "$wid" key Escape
  for i in $(seq 75); do kill -0 "$prog" 2>/dev/null || break; sleep 0.2; done
  check "zebreportw.exe closes with Escape" "closed" "$(kill -0 "$prog" 2>/dev/null && echo running || echo closed)"
  prog=""
fi

echo "release: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
