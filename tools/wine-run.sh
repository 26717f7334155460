#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest (the cross build's test launcher). Now and then Wine fails
# to start a program at all: it ends at once with an error status and without a byte of output (seen
# once in several hundred test starts while two ran at a time). Every program the tests start prints
# something, so a failure without any output is taken for such a lost start: the program is started once
# more and that is said on standard error. A program that really fails without output fails twice and
# so still fails; what a program prints is passed on unchanged, standard output and error apart.
#   tools/wine-run.sh WINE PROGRAM.exe [ARGUMENT...]
set -uo pipefail
wine=$1
shift
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

"$wine" "$@" >"$out" 2>"$err"
status=$?
if [ "$status" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run: $1 ended with status $status before printing anything; started once more" >&2
  "$wine" "$@" >"$out" 2>"$err"
  status=$?
fi
cat "$out"
cat "$err" >&2
exit "$status"
