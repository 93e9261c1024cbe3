# Sourced: the project's own Wine prefix and quiet, prompt-free Wine.
ZEB_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export ZEB_BUILD=$ZEB_ROOT/build   # always this checkout's own
export WINEPREFIX=${WINEPREFIX_ZEB:-$ZEB_BUILD/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# The simulator's end of COM1 (see wine-prefix.sh).
export ZEB_SIM_LINE=$ZEB_BUILD/vports/sim-com1
