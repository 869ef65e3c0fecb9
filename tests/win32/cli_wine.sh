#!/usr/bin/env bash
# quimbo-build.exe's command line under Wine, case for case as the native
# tests/cli/cli_test.cpp checks it: --version, --help, options never taken for
# folders, a lone "-" and names after "--" taken as folders, no such folder,
# a file named as a folder, a name too long for a folder.
#
#   cli_wine.sh WINDOWS_QUIMBO_BUILD_EXE WINE_RUN VERSION
#
# Runs in a fresh folder holding a.jpg and the image folders "-" and "-x".
# The console's CR LF line ends are compared as LF.
set -uo pipefail
exe=$1 wine_run=$2 version=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/quimbo-cli-wine.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/-" "$work/-x"
printf 'x' >"$work/a.jpg"
printf 'x' >"$work/-/a.jpg"
printf 'x' >"$work/-x/a.jpg"
cd "$work"

usage="quimbo-build: usage: quimbo-build [OPTION]... FOLDER
quimbo-build: try 'quimbo-build --help' for more information."
passed=0 failed=0

# check ARGS EXIT STDOUT STDERR WRITTEN: ARGS split at blanks; WRITTEN is the
# folder that must get a page ("" for none); STDERR "U:text" is text + usage.
check() {
  local args=$1 want_rc=$2 want_out=$3 want_err=$4 written=$5
  [[ $want_err == U:* ]] && want_err="${want_err#U:}"$'\n'"$usage"
  rm -f ./'!pictures.html' ./-/'!pictures.html' ./-x/'!pictures.html'
  # shellcheck disable=SC2086
  "$wine_run" "$exe" $args >out.bin 2>err.bin
  local rc=$? out err problem=""
  out=$(tr -d '\r' <out.bin) err=$(tr -d '\r' <err.bin)
  [ "$rc" = "$want_rc" ] || problem+=" exit $rc, not $want_rc;"
  [ "$out" = "$want_out" ] || problem+=" stdout [$out], not [$want_out];"
  [ "$err" = "$want_err" ] || problem+=" stderr [$err], not [$want_err];"
  local name
  for name in . - -x; do
    if [ -f "$name/!pictures.html" ] && [ "$name" != "$written" ]; then problem+=" wrote into $name;"; fi
    if [ ! -f "$name/!pictures.html" ] && [ "$name" = "$written" ]; then problem+=" nothing in $name;"; fi
  done
  if [ -z "$problem" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL [$args]:$problem"
  fi
}

check "--version" 0 "quimbo-build $version" "" ""
check "-" 0 '-\!pictures.html' "" "-"
check "-- -x" 0 '-x\!pictures.html' "" "-x"
check "--lang en -- -" 0 '-\!pictures.html' "" "-"
check "-x" 64 "" "U:quimbo-build: unknown option: -x" ""
check "--bogus ." 64 "" "U:quimbo-build: unknown option: --bogus" ""
check ". --lang=de" 0 '.\!pictures.html' "" "."
check "-j4 --title=T ." 0 '.\!pictures.html' "" "."
check "-rj2 -- -x" 0 '-x\!albums.html' "quimbo-build: galleries: written 1, without images 0, failed 0; previews: made 0, up to date 0, failed 0" "-x"
check "-rx ." 64 "" "U:quimbo-build: unknown option: -x" ""
check "--LANG de ." 64 "" "U:quimbo-build: unknown option: --LANG" ""
check "--version=2" 64 "" "U:quimbo-build: --version takes no value: --version=2" ""
check "--lang fr ." 64 "" "U:quimbo-build: --lang needs de or en, not: fr" ""
check "-- . -x" 64 "" "U:quimbo-build: more than one folder: -x" ""
check "--" 64 "" "U:quimbo-build: no folder given" ""
check "missing" 2 "" "quimbo-build: no such folder: missing" ""
check "a.jpg" 2 "" "quimbo-build: not a folder: a.jpg" ""
check "-- --x" 2 "" "quimbo-build: no such folder: --x" ""
check "a.jpg/" 2 "" "quimbo-build: not a folder: a.jpg/" ""
check 'a.jpg\' 2 "" 'quimbo-build: not a folder: a.jpg\' ""
check 'a.jpg\x\' 2 "" 'quimbo-build: no such folder: a.jpg\x\' ""
long=$(printf 'n%.0s' {1..600})  # more than the 512 characters of a folder
check "$long" 2 "" "quimbo-build: folder name too long: $long" ""
check "--jobs 0 ." 64 "" "U:quimbo-build: --jobs needs a whole number of 1 or more, not: 0" ""
check ". -j" 64 "" "U:quimbo-build: -j needs a value" ""

# --help: the usage line first, then one line per option.
for flag in --help -h; do
  help=$("$wine_run" "$exe" "$flag" 2>err.bin | tr -d '\r')
  problem=""
  [ "$(head -n 1 <<<"$help")" = "usage: quimbo-build [OPTION]... FOLDER" ] || problem+=" first line;"
  [ -s err.bin ] && problem+=" stderr not empty;"
  for option in "    --lang de|en " "-p, --previews[=all] " "-r, --recursive " "-j, --jobs N " "    --version " "-h, --help " "    -- "; do
    grep -qF -- "  $option" <<<"$help" || problem+=" no line for $option;"
  done
  if [ -z "$problem" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL [$flag]:$problem"; fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
