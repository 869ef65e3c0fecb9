#!/usr/bin/env bash
# scripts/setup --build decides by the commands the build needs, through
# stand-ins on a PATH of our own: all there, nothing installed; one missing
# where apt-get is, its Debian package installed; missing without apt-get,
# the packages named for apt, dnf, pacman and Homebrew, and exit 1.
#
#   setup_test.sh SOURCE_DIR
set -uo pipefail
src=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quimbo-setup-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

# run_setup COMMANDS...: scripts/setup --build with only these stand-ins (and
# the few tools the script itself uses) on PATH; its output in $out, exit in $rc.
run_setup() {
  rm -rf "$work/bin" "$work/calls"
  mkdir -p "$work/bin"
  for tool in dirname id; do ln -s "$(command -v "$tool")" "$work/bin/$tool"; done
  for standin in "$@"; do
    printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\n' "$standin" "$work" >"$work/bin/$standin"
    chmod +x "$work/bin/$standin"
  done
  out=$(cd "$work" && PATH="$work/bin" CXX= "$BASH" "$src/scripts/setup" --build 2>&1)
  rc=$?
  calls=$(cat "$work/calls" 2>/dev/null)
}
expect() {  # expect WHAT CONDITION...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what (exit $rc; output: $out; calls: $calls)"; fi
}

run_setup cmake ninja g++ apt-get sudo
expect "all commands there: nothing installed, nothing said" test "$rc:$calls:$out" = "0::"
run_setup cmake clang++ apt-get sudo
expect "ninja missing, apt there: ninja-build installed" \
  grep -q "^apt-get .*install .*--no-install-recommends ninja-build$" <<<"$calls"
run_setup sudo
expect "nothing, no apt: exit 1" test "$rc" = 1
for line in "sudo apt-get install cmake ninja-build g++" "sudo dnf install cmake ninja-build gcc-c++" \
            "sudo pacman -S cmake ninja gcc" "brew install cmake ninja" "xcode-select --install"; do
  expect "nothing, no apt: names $line" grep -qF -- "$line" <<<"$out"
done
expect "nothing, no apt: installs nothing" test -z "$calls"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
