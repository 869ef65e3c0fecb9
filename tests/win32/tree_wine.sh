#!/usr/bin/env bash
# quimbo-build.exe --recursive under Wine: the tree's galleries and album index
# are the bytes the native build writes for the same tree at the same minute;
# hidden folders (a dot folder, which Wine shows as hidden, and a folder with
# the hidden attribute) and links to folders are left alone, nothing is written
# outside the tree; a tree without images exits 2.
#
#   tree_wine.sh NATIVE_QUIMBO_BUILD WINDOWS_QUIMBO_BUILD_EXE WINE_RUN
#
# Fails when the native build is not there.
set -uo pipefail
native=$1 windows=$2 wine_run=$3
if [ ! -x "$native" ]; then
  echo "FAIL: no native quimbo-build at $native (build the native preset first)"
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quimbo-tree-wine.XXXXXX")
trap '[ -n "${QUIMBO_KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check CONDITION-EXIT-STATUS MESSAGE
  if [ "$1" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $2"; fi
}

# One image per folder: Wine lists a folder in the host's order, which the
# index does not depend on (it sorts), but a page of several images would.
make_tree() {
  local dir=$1 folder
  for folder in . "2024/Holiday" "2024/Work" "Tom & Jerry" "Schöne Aussicht" "Ölbilder/alt" "ä b" "Zebra"; do
    mkdir -p "$dir/$folder"
    printf 'x' >"$dir/$folder/pic.jpg"
  done
  mkdir -p "$dir/empty" "$dir/gifs" "$dir/.dotted"
  printf 'x' >"$dir/gifs/a.gif"
  printf 'x' >"$dir/.dotted/hidden.jpg"
}
list_pages() { (cd "$1" && find . -name '!pictures.html' | sort); }

# The same name for both trees: the index shows it.
native_tree="$work/native/Fotos" windows_tree="$work/windows/Fotos"
make_tree "$native_tree"
make_tree "$windows_tree"
"$native" --recursive --lang de --fixed-time 2025-03-05T21:30 "$native_tree" >/dev/null 2>&1
check $? "the native build of the tree failed"
# Wine's drive Z: is the host's root.
winpath="Z:${windows_tree//\//\\}"
"$wine_run" "$windows" --recursive --lang de --fixed-time 2025-03-05T21:30 "$winpath" >"$work/out" 2>"$work/err"
rc=$?
check $rc "quimbo-build.exe --recursive exited $rc: $(cat "$work/err")"
[ "$(tr -d '\r' <"$work/out")" = "$winpath\\!albums.html" ]
check $? "stdout was [$(tr -d '\r' <"$work/out")]"
grep -q '^quimbo-build: galleries: written 8, without images 4, failed 0; previews: made 0, up to date 0, failed 0' "$work/err"
check $? "summary line: $(cat "$work/err")"
[ "$(list_pages "$native_tree")" = "$(list_pages "$windows_tree")" ]
check $? "different folders got a gallery: $(list_pages "$windows_tree" | tr '\n' ' ')"
[ ! -e "$windows_tree/.dotted/!pictures.html" ]
check $? "a gallery was written into the hidden dot folder"
while IFS= read -r -d '' page; do
  cmp -s "$native_tree/$page" "$windows_tree/$page"
  check $? "$page differs from the native build's"
done < <(cd "$native_tree" && find . \( -name '!pictures.html' -o -name '$create-Thumbnails.cmd' -o -name '!albums.html' \) -print0)

# A folder with the hidden attribute, and links to folders (one a loop, one
# outside the tree): none is walked into.
tree="$work/attrs"
mkdir -p "$tree/shown" "$tree/secret" "$work/outside"
printf 'x' >"$tree/shown/a.jpg"
printf 'x' >"$tree/secret/b.jpg"
printf 'x' >"$work/outside/c.jpg"
ln -s .. "$tree/shown/loop"
ln -s "$work/outside" "$tree/elsewhere"
"$wine_run" cmd /c attrib +h "Z:${tree//\//\\}\\secret" >/dev/null 2>&1
attrs=$("$wine_run" cmd /c attrib "Z:${tree//\//\\}\\secret" 2>/dev/null | tr -d '\r')
"$wine_run" "$windows" --recursive "Z:${tree//\//\\}" >/dev/null 2>"$work/err"
rc=$?
check $rc "the tree with links exited $rc: $(cat "$work/err")"
[ -f "$tree/shown/!pictures.html" ] && [ ! -e "$work/outside/!pictures.html" ] && [ ! -e "$tree/elsewhere/!pictures.html" ]
check $? "a link to a folder was followed (outside: $(ls "$work/outside"))"
if [[ $attrs == *" H "* || $attrs == H* || $attrs == *"H  "* ]]; then
  [ ! -e "$tree/secret/!pictures.html" ]
  check $? "a gallery was written into the folder with the hidden attribute"
else
  echo "note: this Wine keeps no hidden attribute on a host folder ($attrs); that case is not checked"
fi

# No images anywhere: exit 2, nothing written.
mkdir -p "$work/none/sub"
printf 'x' >"$work/none/sub/a.gif"
"$wine_run" "$windows" --recursive "Z:${work//\//\\}\\none" >/dev/null 2>&1
rc=$?
[ "$rc" = 2 ] && [ ! -e "$work/none/!albums.html" ]
check $? "a tree without images exited $rc"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
