#!/usr/bin/env bash
# The two pieces that decide what the Windows tests cover:
#
# - scripts/i386-support gives its three answers for what they mean (a program
#   that runs, one the kernel refuses, one that cannot be started or ends
#   wrong), QUIMBO_NO_I386 forces "refused", and its own probe agrees with
#   what this machine does with Wine's 32-bit loader.
# - scripts/wine-tests runs every build folder it is given, prints how many
#   test programs each ran and passed, and fails for a folder that ran none,
#   ran some that failed, or is an i686 build this machine cannot run. Its
#   folders here are made up: ctest runs plain commands in them.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/runner-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# ---- the 32-bit check ----------------------------------------------------------------------
check() {  # check EXPECTED_CODE EXPECTED_PREFIX [PROGRAM]: one answer of scripts/i386-support
  local want_code=$1 want=$2 answer code
  shift 2
  answer=$(env -u QUIMBO_NO_I386 "$root/scripts/i386-support" "$@")
  code=$?
  [ $code -eq "$want_code" ] && [[ "$answer" == "$want"* ]] ||
    fail "i386-support $*: '$answer' (exit $code), expected '$want...' (exit $want_code)"
}
printf '#!/bin/sh\nexit 42\n' >"$work/exit42"
printf '#!/bin/sh\nexit 1\n' >"$work/exit1"
cp "$work/exit42" "$work/not-executable"
chmod +x "$work/exit42" "$work/exit1"
# A 64-bit ELF file for a processor no kernel knows (e_machine 0x7fff): the kernel refuses it
# as it refuses an i386 program where 32-bit support is off.
{ printf '\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xff\x7f\x01\x00\x00\x00'
  head -c 104 /dev/zero; } >"$work/foreign"
chmod +x "$work/foreign"
check 0 "runs" "$work/exit42"
check 1 "refused: this machine's kernel does not execute 32-bit programs" "$work/foreign"
check 2 "broken: the 32-bit probe ended with status 1" "$work/exit1"
check 2 "broken:" "$work/not-executable"
check 2 "broken:" "$work/missing"
answer=$(QUIMBO_NO_I386=1 "$root/scripts/i386-support" "$work/exit42")
[ "$answer" = "refused: QUIMBO_NO_I386 is set" ] || fail "QUIMBO_NO_I386=1 gave '$answer'"
answer=$(QUIMBO_NO_I386=0 "$root/scripts/i386-support" "$work/exit42")
[ "$answer" = "runs" ] || fail "QUIMBO_NO_I386=0 gave '$answer'"

# The probe itself is a well-formed program: this machine runs it or refuses it.
own=$(env -u QUIMBO_NO_I386 "$root/scripts/i386-support")
case "$own" in
  runs|refused:*) echo "this machine: $own" ;;
  *) fail "the 32-bit probe is neither run nor refused: $own" ;;
esac
# Wine's 32-bit loader, where it is installed, is refused exactly where the probe is.
if [ -x /usr/lib/wine/wine ]; then
  loader=$(LC_ALL=C bash -c 'exec /usr/lib/wine/wine --version' 2>&1)
  if [[ "$loader" == *"Exec format error"* ]]; then
    [[ "$own" == refused:* ]] || fail "Wine's 32-bit loader is refused, but the probe says: $own"
  else
    [ "$own" = runs ] || fail "Wine's 32-bit loader starts ($loader), but the probe says: $own"
  fi
fi

# ---- the Windows test runner ---------------------------------------------------------------
folder() {  # folder NAME PROCESSOR COMMAND...: a configured build folder with one test per command
  local dir="$work/$1" arch=$2 i=0 command
  shift 2
  mkdir -p "$dir/CMakeFiles/3.25.1"
  echo "set(CMAKE_SYSTEM_PROCESSOR \"$arch\")" >"$dir/CMakeFiles/3.25.1/CMakeSystem.cmake"
  : >"$dir/CTestTestfile.cmake"
  for command in "$@"; do
    i=$((i + 1))
    echo "add_test(t$i $command)" >>"$dir/CTestTestfile.cmake"
  done
}
folder x64 x86_64 true true
folder x86 i686 true
folder none x86_64
folder bad x86_64 true false
# runner EXPECTED_CODE FOLDER...: runs scripts/wine-tests on the folders, output in $work/out
runner() {
  local want=$1 code
  shift
  (cd "$work" && "$root/scripts/wine-tests" "$@") >"$work/out" 2>&1
  code=$?
  if [ $(( code != 0 )) -ne "$want" ]; then
    fail "wine-tests $* exited $code"
    cat "$work/out"
  fi
}
expect_line() {
  grep -qxF "  $1" "$work/out" || { fail "no line '$1' in wine-tests' summary"; sed -n '/per build folder/,$p' "$work/out"; }
}
# A folder that ran nothing fails the run, and so does a failing program,
# which is counted; every folder after a failed one is still run.
runner 1 "$work/none" "$work/bad" "$work/x64"
expect_line "$work/none: no test program ran"
expect_line "$work/bad: 2 test programs run, 1 passed"
expect_line "$work/x64: 2 test programs run, 2 passed"
# Each of the two on its own fails the run too: neither hides behind the other.
runner 1 "$work/none" "$work/x64"
expect_line "$work/none: no test program ran"
runner 1 "$work/x64" "$work/bad"
expect_line "$work/bad: 2 test programs run, 1 passed"
# Both architectures, as the test command asks for them on this machine.
export QUIMBO_I386="$own"
if [[ "$own" == refused:* ]]; then
  runner 1 "$work/x64" "$work/x86"
  expect_line "$work/x86: NOT RUN: ${own#refused: }"
else
  runner 0 "$work/x64" "$work/x86"
  expect_line "$work/x86: 1 test program run, 1 passed"
fi
expect_line "$work/x64: 2 test programs run, 2 passed"
# The switch leaves the i686 folder out as a kernel without 32-bit support would.
QUIMBO_I386="" QUIMBO_NO_I386=1 runner 1 "$work/x64" "$work/x86"
expect_line "$work/x86: NOT RUN: QUIMBO_NO_I386 is set"
expect_line "$work/x64: 2 test programs run, 2 passed"

if [ $failures -gt 0 ]; then
  echo "runner_test: $failures failed"
  exit 1
fi
echo "runner_test: all passed"
