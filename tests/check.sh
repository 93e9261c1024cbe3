# Sourced by the test scripts: named checks, counted, with both sides shown
# on failure.
passed=0 failed=0
check() {   # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED: %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
  fi
}
