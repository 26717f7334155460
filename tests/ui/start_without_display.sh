#!/usr/bin/env bash
# The program started without a reachable desktop, as a start-up script might: bad usage is told as
# bad usage (exit 2), a missing or unreachable display ends it plainly (exit 1, no abort), and --help and
# --version need no display at all. Argument: the program.
set -uo pipefail
program=$1
failures=0
check() { # expected exit, DISPLAY value ("" = unset), what stderr must hold, arguments...
  local want=$1 display=$2 text=$3
  shift 3
  local err got
  if [[ -n $display ]]; then
    err=$(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" timeout 20 "$program" "$@" 2>&1 >/dev/null)
  else
    err=$(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DISPLAY timeout 20 "$program" "$@" 2>&1 >/dev/null)
  fi
  got=$?
  if [[ $got != "$want" || $err != *"$text"* ]]; then
    echo "FAIL: DISPLAY='$display' astrelvo $*: exit $got (want $want), stderr: $err"
    failures=$((failures + 1))
  fi
}
check 2 "" "--connect needs --port" --connect
check 2 "" "unknown option '--bogus'" --bogus
check 2 "" "--port needs a device path" --port
check 1 "" "no display" --port virtual
check 1 ":97" "cannot be reached" --port virtual --connect
check 0 "" "" --version
check 0 "" "" --help
exit $((failures > 0))
