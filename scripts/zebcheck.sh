#!/usr/bin/env bash
# zebcheck on Linux: runs zebcheck.exe in the project's Wine prefix and
# passes its exit status through (0 pass, 1 a beam failed, 2 not measured).
#   scripts/zebcheck.sh --tty /dev/ttyUSB0 [zebcheck options]
# --tty maps the serial device to COM9 of the prefix for the run (another
# port with ZEB_CHECK_PORT=COM4, say; Wine opens COM1..COM9 by name) and
# passes --port to zebcheck; without it the options name the port.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tty="" args=()
while [ $# -gt 0 ]; do
  case "$1" in
  --tty) [ $# -ge 2 ] || { echo "zebcheck.sh: --tty needs a device" >&2; exit 2; }
         tty=$2; shift 2 ;;
  --tty=*) tty=${1#--tty=}; shift ;;
  *) args+=("$1"); shift ;;
  esac
done
if [ ! -x "$root/build/win/zebcheck.exe" ]; then
  "$root/scripts/build.sh" >&2 || { echo "zebcheck.sh: the build failed" >&2; exit 2; }
fi
. "$root/scripts/wine-env.sh"
"$root/scripts/wine-prefix.sh" >&2 || { echo "zebcheck.sh: cannot prepare the Wine prefix" >&2; exit 2; }
if [ -n "$tty" ]; then
  [ -e "$tty" ] || { echo "zebcheck.sh: $tty does not exist (adapter not plugged in?)" >&2; exit 2; }
  [ -c "$tty" ] || { echo "zebcheck.sh: $tty is not a serial device" >&2; exit 2; }
  port=${ZEB_CHECK_PORT:-COM9}
  [[ $port =~ ^COM[1-9]$ ]] || { echo "zebcheck.sh: ZEB_CHECK_PORT must be COM1..COM9" >&2; exit 2; }
  dev=$WINEPREFIX/dosdevices/${port,,}
  old=$(readlink "$dev" 2>/dev/null || true)
  ln -sfn "$(readlink -f "$tty")" "$dev"
  # Put back what the prefix had, so that a mapping of the user's survives.
  trap 'if [ -n "$old" ]; then ln -sfn "$old" "$dev"; else rm -f "$dev"; fi' EXIT
  args+=(--port "$port")   # the device given wins over a --port among the options
fi
# A server that zebcheck started would inherit its standard error and, when
# an adapter vanishes, dump its objects there; started here it writes
# nowhere, and stays a few seconds for the next station's run.
wineserver -p10 </dev/null >/dev/null 2>&1 || true
wine "$root/build/win/zebcheck.exe" "${args[@]}"
