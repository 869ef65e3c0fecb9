#!/usr/bin/env bash
# What a user installs: builds the packages with scripts/package, installs the
# build into a temporary DESTDIR with `cmake --install`, runs the installed
# quimbo-build on a copy of examples/, renders the manual page with warnings
# on, and reads the .deb and the .tar.gz back (contents, control fields,
# lintian errors).
#
#   tests/package/check_package.sh        (from anywhere; uses build/package/)
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/quimbo-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok   $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; }
expect() {  # expect NAME ACTUAL EXPECTED
  if [ "$2" = "$3" ]; then ok "$1"; else fail "$1"$'\n'"  got:      ${2//$'\n'/ | }"$'\n'"  expected: ${3//$'\n'/ | }"; fi
}

# The files every installed tree holds, below its prefix.
tree="bin/quimbo-build
share/doc/quimbo-build/README.md
share/doc/quimbo-build/changelog.gz
share/doc/quimbo-build/copyright
share/man/man1/quimbo-build.1.gz"

if ! "$root/scripts/package" "$work/out" >"$work/package.log" 2>&1; then
  cat "$work/package.log"
  fail "scripts/package"
  echo "$passed passed, $failed failed"
  exit 1
fi
version=$(sed -n 's/^project(Quimbo VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
arch=$(dpkg --print-architecture)
deb="$work/out/quimbo-build_${version}_${arch}.deb"
tgz="$work/out/quimbo-build-${version}-linux-$(uname -m).tar.gz"

# ---- cmake --install into a DESTDIR ----
DESTDIR="$work/root" cmake --install "$root/build/package" --prefix /usr/local >"$work/install.log" 2>&1 ||
  fail "cmake --install: $(cat "$work/install.log")"
prefix="$work/root/usr/local"
expect "installed files" "$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)" "$tree"
installed="$prefix/bin/quimbo-build"
expect "installed --version" "$("$installed" --version 2>&1)" "quimbo-build $version"

cp -r "$root/examples" "$work/examples"
rm -f "$work/examples/!pictures.html" "$work/examples/\$create-Thumbnails.cmd"
out=$("$installed" --lang en "$work/examples" 2>&1)
expect "installed run on examples/" "$? $out" "0 $work/examples/!pictures.html"
if [ -s "$work/examples/!pictures.html" ] && [ -s "$work/examples/\$create-Thumbnails.cmd" ] &&
   grep -q 'src="Sonnenuntergang.jpg"' "$work/examples/!pictures.html"; then
  ok "gallery files of examples/ written"
else
  fail "gallery files of examples/ written"
fi

# ---- the manual page ----
page="$prefix/share/man/man1/quimbo-build.1.gz"
expect "man -l renders without warnings" "$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)" ""
rendered=$(MANWIDTH=80 man -l "$page" 2>/dev/null)
expect "manual sections" "$(grep -E '^[A-Z][A-Z ]+$' <<<"$rendered" | tr '\n' ,)" \
  "NAME,SYNOPSIS,DESCRIPTION,OPTIONS,EXIT STATUS,ENVIRONMENT,FILES,EXAMPLES,NOTES,SEE ALSO,"
# Every option of --help has its entry in the manual, and the manual's version is the program's.
missing=""
while read -r option; do
  grep -qE "^       $(sed 's/[][|]/\\&/g' <<<"$option")( |$)" <<<"$rendered" || missing+="[$option] "
done < <("$installed" --help | sed -n 's/^  \(    \)\?\(-[^ ]*\( [^ ]*\)\{0,2\}\)  .*/\2/p' | sed 's/  *$//')
expect "every --help option in the manual" "$missing" ""
expect "manual footer version" "$(tail -n 1 <<<"$rendered" | awk '{print $1, $2}')" "quimbo-build $version"

# ---- the .deb ----
expect "deb contents" \
  "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | LC_ALL=C sort)" "$tree"
expect "deb fields" "$(dpkg-deb -f "$deb" Package Version Architecture Section | tr '\n' ' ')" \
  "Package: quimbo-build Version: $version Architecture: $arch Section: graphics "
depends=$(dpkg-deb -f "$deb" Depends)
if [[ $depends == *"libc6 (>="* ]]; then ok "deb depends on libc6 ($depends)"; else fail "deb depends: [$depends]"; fi
# libvips is loaded at run time, so the .deb names it itself: recommended, not required.
expect "deb recommends libvips" "$(dpkg-deb -f "$deb" Recommends)" "libvips42 (>= 8.14)"
if [[ $depends == *libvips* ]]; then fail "deb depends on libvips: [$depends]"; else ok "deb does not depend on libvips"; fi
lintian_out=$(lintian "$deb" 2>&1 | grep -v '^running with root privileges')
echo "$lintian_out" | sed '/^$/d; s/^/     lintian: /'
expect "lintian errors" "$(grep '^E: ' <<<"$lintian_out")" ""

# ---- the .tar.gz ----
expect "tar.gz contents" \
  "$(tar -tzf "$tgz" | grep -v '/$' | sed "s|^quimbo-build-${version}-linux-$(uname -m)/||" | LC_ALL=C sort)" "$tree"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
