#!/usr/bin/env bash
# Creates the project's Wine prefix once: fonts that keep the fixed-pitch
# columns fixed, and nothing that prompts.
set -e
. "$(dirname "$0")/wine-env.sh"
if [ ! -f "$WINEPREFIX/.zeb-ready" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /t REG_SZ /d 'Liberation Mono' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Tahoma' /t REG_SZ /d 'Liberation Sans' /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.zeb-ready"
fi
