#!/usr/bin/env bash
# Builds the same folder with the native quimbo-build and with the Windows
# build under Wine, in German and in English, and compares the two files of
# each build byte for byte, with the date and time stamps masked.
#
#   compare_native.sh NATIVE_QUIMBO_BUILD WINDOWS_QUIMBO_BUILD_EXE WINE_RUN
#
# Fails when the native build is not there: a comparison that did not run
# must not pass for one that did.
set -euo pipefail
native=$1 windows=$2 wine_run=$3

if [ ! -x "$native" ]; then
  echo "FAIL: no native quimbo-build at $native (build the native preset first:" \
       "cmake --preset native && cmake --build build/native)"
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quimbo-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Names the two platforms must treat alike: non-ASCII letters in both cases,
# spaces, an ampersand and other punctuation, upper-case extensions, previews
# and work copies that are skipped, a folder that looks like an image, and
# every listed kind.
make_folder() {
  local dir=$1
  mkdir -p "$dir"
  local names=(
    "Schöne Aussicht.jpg" "Äpfel.JPG" "straße.jpg" "ärger.jpg" "Öl auf Leinwand.jpg" "zebra.Jpg"
    "Tom & Jerry.png" "Übersicht.PNG" "1 (2).jfif" "b.svg" "café au lait.webp" "ñandú.avif"
    "x.gif" "icon.ICO" "it's 100% fun!.jpeg" "Ελλάδα.jpg" "日本.png" "a~b_c-d.e.png"
    "dog_t.jpg" "DOG_T.JPG" "map_w.png" "pic_t.old.jpg" "notes.txt"
  )
  local name
  for name in "${names[@]}"; do printf 'x' >"$dir/$name"; done
  mkdir "$dir/album.jpg"
}

mask() {
  sed -E -e 's/content="[0-9]{4}-[0-9]{2}-[0-9]{2}"/content="YYYY-MM-DD"/g' \
         -e 's/[0-9]{4}-[0-9]{2}-[0-9]{2}, [0-9]{2}:[0-9]{2}h/YYYY-MM-DD, HH:MMh/g' "$1"
}

status=0
for lang in de en; do
  make_folder "$work/native-$lang"
  make_folder "$work/windows-$lang"
  "$native" --lang "$lang" "$work/native-$lang" >/dev/null
  # Wine's drive Z: is the host's root.
  winpath="Z:$(printf '%s' "$work/windows-$lang" | tr / '\\')"
  "$wine_run" "$windows" --lang "$lang" "$winpath" >/dev/null
  for file in '!pictures.html' '$create-Thumbnails.cmd'; do
    if [ ! -f "$work/native-$lang/$file" ] || [ ! -f "$work/windows-$lang/$file" ]; then
      echo "FAIL [$lang] $file: missing"
      status=1
      continue
    fi
    if cmp -s <(mask "$work/native-$lang/$file") <(mask "$work/windows-$lang/$file"); then
      echo "ok   [$lang] $file ($(stat -c %s "$work/native-$lang/$file") bytes)"
    else
      echo "FAIL [$lang] $file differs (native < >, windows):"
      diff <(mask "$work/native-$lang/$file") <(mask "$work/windows-$lang/$file") | head -20 | cut -c1-240 || true
      status=1
    fi
  done
done
exit $status
