# PASS and FAIL lines with their count, for the test scripts that source it:
#   pass NAME, fail NAME, check NAME COMMAND... (passes when COMMAND does),
#   finish (prints "N passed, N failed" and exits 1 when anything failed
#   or nothing passed).
passed=0
failed=0
pass() {
  passed=$((passed + 1))
  echo "PASS: $1"
}
fail() {
  failed=$((failed + 1))
  echo "FAIL: $1"
}
check() {
  local name=$1
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}
finish() {
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 && $passed -gt 0 ]]
  exit $?
}
