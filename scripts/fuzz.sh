#!/usr/bin/env bash
# Fuzzes every input from outside: builds the targets in tests/fuzz with
# clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# (build/fuzz) and runs each for SECONDS (default 600), one after the other
# under nice, then prints a table. A finding is kept in
# build/fuzz/findings/TARGET/; once mended, it belongs in
# tests/fuzz/regress/TARGET/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#   scripts/fuzz.sh --replay     every seed and regression input once, no
#                                fuzzing; fails on any crash, hang or report
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZEB_BUILD:-$root/build}/fuzz
src=$root/tests/fuzz

# clang and its runtime (libFuzzer, the sanitizers) when missing.
if ! command -v clang++ >/dev/null 2>&1 || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "Installing: clang libclang-rt-14-dev"
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  # Waits for another apt run to finish rather than failing on its lock.
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq clang libclang-rt-14-dev >/dev/null
fi
CC=clang CXX=clang++ cmake -S "$src" -B "$build" >/dev/null
nice cmake --build "$build" -j2 >/dev/null
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

targets() { for t in "$build"/fuzz_*; do if [ -x "$t" ]; then basename "$t" | sed 's/^fuzz_//'; fi; done; }
dirs() { for d in "$src/seeds/$1" "$src/regress/$1"; do if [ -d "$d" ]; then echo "$d"; fi; done; }

if [ "${1:-}" = "--replay" ]; then
  failed=0
  for t in $(targets); do
    files=$(find $(dirs "$t") -type f | sort)
    [ -n "$files" ] || continue
    # Output only when it fails: the programs' own messages are many.
    if ! "$build/fuzz_$t" -timeout=30 $files >"$build/replay_$t.txt" 2>&1; then
      echo "fuzz_$t: an input fails:"
      grep -E "ERROR|runtime error|Running:|timeout|deadly" "$build/replay_$t.txt" | head -20
      failed=1
    fi
  done
  [ $failed = 0 ] && echo "fuzz targets: $(targets | wc -l) replayed their seeds and regression inputs"
  exit $failed
fi

seconds=${1:-600}
shift || true
list=${*:-$(targets)}
printf '%-10s %12s %8s %8s %9s\n' target executions coverage corpus findings
for t in $list; do
  corpus=$build/corpus/$t findings=$build/findings/$t
  mkdir -p "$corpus" "$findings"
  dict=()
  [ -f "$src/$t.dict" ] && dict=(-dict="$src/$t.dict")
  log=$build/fuzz_$t.txt
  # -close_fd_mask=1: the programs' standard output is noise; their standard
  # error carries the sanitizers' reports.
  nice "$build/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -close_fd_mask=1 "${dict[@]}" -artifact_prefix="$findings/" "$corpus" $(dirs "$t") >"$log" 2>&1 || true
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo 0)
  size=$(find "$corpus" -type f | wc -l)
  found=$(find "$findings" -type f | wc -l)
  printf '%-10s %12s %8s %8s %9s\n' "$t" "${execs:-0}" "${cov:-0}" "$size" "$found"
done
# What each finding is and which input makes it, for the mend.
for f in $(find "$build/findings" -type f | sort); do
  t=$(basename "$(dirname "$f")")
  echo "$t: $f: $(grep -m1 -oE 'ERROR: [A-Za-z]+: [^ ]+( [^ ]+)?|runtime error: .*|timeout after [0-9]+ seconds' "$build/fuzz_$t.txt" || echo see "$build/fuzz_$t.txt")"
done
