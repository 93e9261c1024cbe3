#!/usr/bin/env bash
# Runs a Windows program in the project's prefix (used by ctest, and by hand:
# scripts/wine-run.sh build/win/zebdiag.exe), its Wine server kept quiet.
. "$(dirname "$0")/wine-env.sh"
zeb_wineserver
exec wine "$@"
