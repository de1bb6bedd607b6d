#!/usr/bin/env bash
# refuses_bad_versions.sh <source root> <work folder>
# A TOVRA_PRODUCT_VERSION that is no file version stops the configure before
# anything is built, naming the value: too few or too many numbers, a number
# above 65535, a leading zero (the installer compares the installed program's
# version as text, printed without one), blanks, letters, nothing.
set -euo pipefail
src=$1
work=$2
failures=0
for v in 4.1.0 4.1.0.7.1 4.1.0.65536 65536.0.0.0 123456.1.1.1 04.1.0.7 4.1.00.7 \
  4.1.0.x 4.1.0.7x ' 4.1.0.7' 4..0.7 -4.1.0.7 ''; do
  rm -rf "$work"
  mkdir -p "$work"
  if cmake -S "$src" -B "$work" -DTOVRA_PRODUCT_VERSION="$v" >"$work/out" 2>&1; then
    echo "FAIL: the configure accepted \"$v\"" >&2
    failures=$((failures + 1))
  # CMake wraps its messages: the words are compared, not the lines.
  elif ! tr -s ' \n' '  ' <"$work/out" | grep -qF "TOVRA_PRODUCT_VERSION \"$v\" is no file version"; then
    echo "FAIL: the refusal of \"$v\" does not name it:" >&2
    sed 's/^/  /' "$work/out" >&2
    failures=$((failures + 1))
  elif [ -e "$work/CMakeFiles/CMakeSystem.cmake" ]; then
    echo "FAIL: \"$v\" was refused only after the compilers were looked at" >&2
    failures=$((failures + 1))
  else
    echo "ok: \"$v\" refused"
  fi
done
rm -rf "$work"
[ $failures = 0 ]
