#!/usr/bin/env bash
# Runs the native previews tests against the Windows quimbo-build.exe under
# Wine: the same images, the same checks, only the program differs.
#
#   previews_wine.sh NATIVE_PREVIEWS_TESTS WINDOWS_QUIMBO_BUILD_EXE WINE_RUN
#
# Exits 77 (a skip for CTest) when the native test program is not there.
set -euo pipefail
tests=$1 exe=$2 wine_run=$3
if [ ! -x "$tests" ]; then
  echo "SKIP: no native previews_tests at $tests (build the native preset first)"
  exit 77
fi
export QUIMBO_PREVIEWS_EXE="$exe" QUIMBO_PREVIEWS_WINE_RUN="$wine_run"
exec "$tests" --gtest_brief=1 --gtest_filter='Previews.*'
