#!/usr/bin/env bash
# The native tests once more in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang; build/asan): zebreport's unit tests and
# its command line, zebsim from the far end of its line. Any report of either
# sanitizer fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZEB_BUILD:-$root/build}/asan
flags="-O1 -g -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
build_part() {   # build_part FOLDER TARGET...: only what the tests run
  CC=clang CXX=clang++ cmake -S "$root/$1" -B "$build/$1" -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  nice cmake --build "$build/$1" -j2 --target "${@:2}" >/dev/null
}
build_part report zebreport test_report
build_part sim zebsim zebsim_check
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
out=$build/sanitize.txt
: >"$out"
run() {   # the output only when it fails
  if ! "$@" >>"$out" 2>&1; then
    echo "sanitizer build: failed: $*"
    grep -E "ERROR|runtime error|FAILED|Failure" "$out" | head -20
    exit 1
  fi
}
cd "$build/report"   # the tests write their files where they run
run "$build/report/test_report"
run python3 "$root/tests/report_cli.py" "$build/report/zebreport"
cd "$build/sim"
run "$build/sim/zebsim_check" --no-timing "$build/sim/zebsim"
echo "sanitizer build: report, logread and sim tests passed"
