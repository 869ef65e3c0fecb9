#!/usr/bin/env bash
# quimbo-build-faults, as a process, with its file writes failing halfway (as
# on a full disk) and with the move into place failing: exit 1, the system's
# reason on stderr, the old page with its title and the old script untouched,
# and no temporary file left behind.
#
#   failed_build.sh PROGRAM [RUNNER]     (RUNNER: cmake/wine-run for the Windows build)
set -uo pipefail
program=$1 runner=${2:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/quimbo-failed.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for fault in write=1000 move; do
  dir="$work/$fault"
  mkdir -p "$dir"
  printf 'x' > "$dir/a.jpg"
  printf '\xEF\xBB\xBF<script>\r\nconst title="Holiday 2025";\r\n</script>\r\n' > "$work/old-page"
  printf 'rem old\r\n' > "$work/old-script"
  cp "$work/old-page" "$dir/!pictures.html"
  cp "$work/old-script" "$dir/\$create-Thumbnails.cmd"
  QUIMBO_TEST_FAULTS=$fault $runner "$program" --lang en "$dir" > "$work/out" 2> "$work/err"
  rc=$?
  [ "$rc" = 1 ] || fail "$fault: exit $rc, expected 1"
  grep -q '^Cannot write .*!pictures.html: ..*' "$work/err" || fail "$fault: stderr was: $(cat "$work/err")"
  [ ! -s "$work/out" ] || fail "$fault: stdout was: $(cat "$work/out")"
  cmp -s "$dir/!pictures.html" "$work/old-page" || fail "$fault: the old page changed"
  cmp -s "$dir/\$create-Thumbnails.cmd" "$work/old-script" || fail "$fault: the old script changed"
  left=$(find "$dir" -name '*.quimbo-tmp')
  [ -z "$left" ] || fail "$fault: left behind: $left"
done

# Without faults the same program writes both files.
dir="$work/none"
mkdir -p "$dir" && printf 'x' > "$dir/a.jpg"
$runner "$program" --lang en "$dir" > /dev/null 2>&1 || fail "a build without faults failed"
[ -s "$dir/!pictures.html" ] || fail "no page without faults"

[ "$failures" = 0 ] && echo "failed builds keep the old files: ok"
exit $((failures > 0))
