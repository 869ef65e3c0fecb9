#!/usr/bin/env bash
# Runs the native previews tests against the Windows quimbo-build.exe under
# Wine: the same images, the same checks, only the program differs.
#
#   previews_wine.sh NATIVE_PREVIEWS_TESTS WINDOWS_QUIMBO_BUILD_EXE WINE_RUN [WINDOWS_QUIMBO_BUILD_FAULTS_EXE FILTER]
#
# FILTER picks the tests (default: Previews.*); the faults program is the one
# they run where they inject faults. Exits 77 (a skip for CTest) when the
# native test program is not there.
set -euo pipefail
tests=$1 exe=$2 wine_run=$3 faults_exe=${4:-} filter=${5:-Previews.*}
if [ ! -x "$tests" ]; then
  echo "SKIP: no native previews_tests at $tests (build the native preset first)"
  exit 77
fi
export QUIMBO_PREVIEWS_EXE="$exe" QUIMBO_PREVIEWS_WINE_RUN="$wine_run"
[ -z "$faults_exe" ] || export QUIMBO_PREVIEWS_FAULTS_EXE="$faults_exe"
exec "$tests" --gtest_brief=1 --gtest_filter="$filter"
