# Sourced: the project's own Wine prefix and quiet, prompt-free Wine.
ZEB_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export ZEB_BUILD=$ZEB_ROOT/build   # always this checkout's own
export WINEPREFIX=${WINEPREFIX_ZEB:-$ZEB_BUILD/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# The simulator's end of COM1 (see wine-prefix.sh).
export ZEB_SIM_LINE=$ZEB_BUILD/vports/sim-com1
# Starts the prefix's Wine server unless one runs. A server that a program
# starts inherits the program's standard error and writes its objects there
# when it ends (thousands of lines); started here it writes nowhere. It
# stays SECONDS after the last program (default 3, as Wine's own).
zeb_wineserver() {   # zeb_wineserver [SECONDS]
  wineserver -p"${1:-3}" </dev/null >/dev/null 2>&1 || true
}
