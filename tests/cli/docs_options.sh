#!/usr/bin/env bash
# The documents hold to the program: every option that README.md (where it
# shows quimbo-build), the manual page and the Windows read-me (its part on
# quimbo-build.exe) name is one
# that quimbo-build takes, and every option that --help lists is in the
# manual page.
#
#   docs_options.sh QUIMBO_BUILD SOURCE_DIR
set -uo pipefail
exe=$1 src=$2
failed=0 checked=0

# The options in the text on stdin: --name, --name=value, -x and -xN groups.
options_in() { grep -oE '(^|[^[:alnum:]_./-])--?[A-Za-z][A-Za-z0-9-]*(=[A-Za-z0-9]+)?' | sed -E 's/^[^-]+//' | sort -u; }

check_taken() {  # check_taken DOCUMENT OPTION...
  local document=$1 option err; shift
  for option in "$@"; do
    checked=$((checked + 1))
    err=$("$exe" "$option" 2>&1 >/dev/null)
    if grep -q "unknown option\|takes no value" <<<"$err"; then
      echo "FAIL: $document names $option, which quimbo-build refuses: $err"
      failed=$((failed + 1))
    fi
  done
}

manual=$(sed 's/\\-/-/g' "$src/cli/quimbo-build.1.in")
# README: only the commands of quimbo-build itself (in code, or on lines that run it).
mapfile -t readme < <(grep -E 'quimbo-build (-|\[)|`quimbo-build' "$src/README.md" | grep -oE 'quimbo-build[^`|]*' | options_in)
mapfile -t man < <(options_in <<<"$manual")
mapfile -t windows < <(sed -n '/^quimbo-build.exe - /,/^Pinvane.exe - /p' "$src/scripts/dist-readme.txt" | options_in)
check_taken README.md "${readme[@]}"
check_taken quimbo-build.1.in "${man[@]}"
check_taken dist-readme.txt "${windows[@]}"

# --help's option lines: "  -r, --recursive ..." and "      --lang de|en ...".
mapfile -t listed < <("$exe" --help | grep -oE '^  (-[A-Za-z], |    )--[a-z][a-z-]*' | grep -oE -- '-[A-Za-z]\b|--[a-z][a-z-]*')
for option in "${listed[@]}"; do
  checked=$((checked + 1))
  if ! grep -qE -- "(^|[^[:alnum:]-])$option([^[:alnum:]-]|$)" <<<"$manual"; then
    echo "FAIL: --help lists $option, which the manual page does not"
    failed=$((failed + 1))
  fi
done

[ ${#readme[@]} -gt 3 ] && [ ${#man[@]} -gt 3 ] && [ ${#listed[@]} -gt 5 ] || { echo "FAIL: too few options found"; failed=$((failed + 1)); }
echo "$((checked - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
