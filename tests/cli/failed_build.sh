#!/usr/bin/env bash
# quimbo-build-faults, as a process, with its file writes failing halfway (as
# on a full disk) and with the move into place failing: exit 1, the system's
# reason on stderr, the old page with its title and the old script untouched,
# and no temporary file left behind. And without faults: a symbolic link in
# place of either file is replaced by the file, never written through (under
# Wine too, where the link is what the Windows side sees as the file).
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
  grep -q '^quimbo-build: cannot write .*!pictures.html: ..*' "$work/err" || fail "$fault: stderr was: $(cat "$work/err")"
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

# Links at both names, to a file outside the folder: the outside file stays as it was.
dir="$work/links"
mkdir -p "$dir" && printf 'x' > "$dir/a.jpg"
printf 'not ours\n' > "$work/outside.txt"
ln -s "$work/outside.txt" "$dir/!pictures.html"
ln -s "$work/outside.txt" "$dir/\$create-Thumbnails.cmd"
$runner "$program" --lang en "$dir" > /dev/null 2>&1 || fail "a build over links failed"
[ "$(cat "$work/outside.txt")" = "not ours" ] || fail "a link's target was written to"
for name in '!pictures.html' '$create-Thumbnails.cmd'; do
  [ -f "$dir/$name" ] && [ ! -L "$dir/$name" ] || fail "$name is not a file of its own"
done

[ "$failures" = 0 ] && echo "failed builds keep the old files, links are replaced: ok"
exit $((failures > 0))
