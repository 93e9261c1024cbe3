#!/usr/bin/env bash
# Installs what is missing and builds both sides: the Windows program, the
# report tool and their tests (cross), and the simulator and the report tool
# with its tests (native).
#   build.sh [--demo]
#     --demo  only what the demo runs (zebdiag.exe, zebsim); the compiler's
#             output goes to build/demo-build.log and shows only on failure
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"
zeb_install_deps
. "$root/scripts/wine-env.sh"
# A build folder is configured once; its makefiles run cmake again by
# themselves when a CMakeLists.txt changes (configuring each time cost
# seconds on every call).
configure() {   # configure SRC BUILD [CMAKE ARGS]
  [ -f "$2/Makefile" ] || cmake -S "$1" -B "$2" "${@:3}" >/dev/null
}
configure "$root" "$ZEB_BUILD/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake"
configure "$root/sim" "$ZEB_BUILD/sim"
if [ "${1:-}" = --demo ]; then
  log=$ZEB_BUILD/demo-build.log
  if ! { cmake --build "$ZEB_BUILD/win" -j2 --target zebdiag &&
         cmake --build "$ZEB_BUILD/sim" -j2 --target zebsim; } >"$log" 2>&1; then
    tail -30 "$log" >&2
    echo "The build failed (all of its output: $log)" >&2
    exit 1
  fi
  exit 0
fi
cmake --build "$ZEB_BUILD/win" -j2
cmake --build "$ZEB_BUILD/sim" -j2
configure "$root/report" "$ZEB_BUILD/report"
cmake --build "$ZEB_BUILD/report" -j2
