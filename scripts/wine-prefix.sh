#!/usr/bin/env bash
# Creates the project's Wine prefix once: fonts that keep the fixed-pitch
# columns fixed, nothing that prompts, and COM1 mapped to the path where the
# simulator puts its line (the program's default port).
set -e
. "$(dirname "$0")/wine-env.sh"
if [ ! -f "$WINEPREFIX/.zeb-ready" ]; then
  echo "Creating the Wine prefix $WINEPREFIX (once, about half a minute)" >&2
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /t REG_SZ /d 'Liberation Mono' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Tahoma' /t REG_SZ /d 'Liberation Sans' /f >/dev/null 2>&1
  # Wine rewrites dosdevices/com1 at each start unless told where COM1 is.
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$ZEB_SIM_LINE" /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.zeb-ready"
fi
mkdir -p "$(dirname "$ZEB_SIM_LINE")"
