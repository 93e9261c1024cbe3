#!/usr/bin/env bash
# Runs a Windows program in the project's prefix (used by ctest).
. "$(dirname "$0")/wine-env.sh"
exec wine "$@"
