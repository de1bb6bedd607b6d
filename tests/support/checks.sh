# Sourced by the shell suites: check runs a command and counts it as failed
# when it fails, so that a suite reports every broken check, not the first;
# the suite ends with `[ $failures = 0 ]` or its own summary.
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
check() { # description, command...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else fail "$what"; fi
}
