#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest (the cross build's test launcher). Now and then Wine fails
# to start a program at all: it ends at once with an error status and without a byte of output, or with
# only Wine's own "wine client error:...: recvmsg: Connection reset by peer" (seen once in several hundred
# test starts while two ran at a time). Every program the tests start prints something of its own, so a
# failure whose only output is that, or nothing, is taken for such a lost start: the program is started
# once more and that is said on standard error. A program that really fails so fails twice and so still
# fails; what a program prints is passed on unchanged, standard output and error apart.
#   tools/wine-run.sh WINE PROGRAM.exe [ARGUMENT...]
set -uo pipefail
wine=$1
shift
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# A failure with nothing on standard output and at most Wine's client errors on standard error.
lost_start() {
  [ "$status" -ne 0 ] && [ ! -s "$out" ] && ! grep -qv '^wine client error:' "$err"
}

"$wine" "$@" >"$out" 2>"$err"
status=$?
if lost_start; then
  echo "wine-run: $1 ended with status $status before printing anything of its own; started once more" >&2
  "$wine" "$@" >"$out" 2>"$err"
  status=$?
fi
cat "$out"
cat "$err" >&2
exit "$status"
