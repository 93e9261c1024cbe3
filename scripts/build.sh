#!/usr/bin/env bash
# Installs what is missing and builds both sides: the Windows program, the
# report tool and their tests (cross), and the simulator and the report tool
# with its tests (native).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"
zeb_install_deps
. "$root/scripts/wine-env.sh"
cmake -S "$root" -B "$ZEB_BUILD/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$ZEB_BUILD/win" -j2
cmake -S "$root/sim" -B "$ZEB_BUILD/sim" >/dev/null
cmake --build "$ZEB_BUILD/sim" -j2
cmake -S "$root/report" -B "$ZEB_BUILD/report" >/dev/null
cmake --build "$ZEB_BUILD/report" -j2
