#!/usr/bin/env bash
# Cross-builds everything below the user interface for Windows (MinGW-w64) into build-win and runs its
# tests under Wine: the core tests, and the command-line tests, which also reach the controller
# emulator through COM ports that Wine maps to pseudo-terminals (COM7: a well-behaved controller,
# COM8: one that never answers). The emulator program comes from the native build in build/.
# Wine keeps its own prefix in build-win/wineprefix, so nothing outside the tree changes.
set -euo pipefail
cd "$(dirname "$0")/.."

export WINEDEBUG=-all
export WINEPREFIX="$PWD/build-win/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml=" # a console program needs neither Mono nor Gecko: no prompts

emulator=build/tools/emulator/astrelvo-emulator
if [ ! -x "$emulator" ]; then
  cmake -S . -B build -G Ninja -DASTRELVO_UI=OFF >/dev/null
  cmake --build build --target astrelvo-emulator
fi

cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DASTRELVO_UI=OFF >/dev/null
# One wine server for the whole run, started afresh (Wine reads the COM port mapping when its server
# starts): a server that exits when idle can lose a client that starts while it shuts down
# ("recvmsg: Connection reset by peer"). The first program after a start launches Wine's background
# services, which keep the descriptors they inherit: wineboot starts them here with none of ours, or
# ctest would wait for the end of a test's output until its time-out.
restart_wineserver() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot </dev/null >/dev/null 2>&1 || true
}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$WINEPREFIX"
restart_wineserver # creates the prefix on the first run
cmake --build build-win -j2

# Starts an emulator in the background; sets line to the pseudo-terminal it serves.
start_emulator() {
  local out="$work/emulator-${#pids[@]}"
  "$emulator" "$@" </dev/null >"$out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    if [ -s "$out" ]; then line=$(head -n1 "$out"); return 0; fi
    sleep 0.1
  done
  echo "the emulator did not start" >&2
  return 1
}
# COM7's controller reports a hardware version holding the XON and XOFF bytes (0x11, 0x13; its
# identity reply's length byte is 0x13 anyway), and its pseudo-terminal is put back into a terminal's
# default cooked state (XON/XOFF flow control, CR/LF translation, echo), as a terminal program may leave
# a real port: the program must set every line setting it relies on.
start_emulator --hardware-version 0x13111311
good=$line
stty -F "$good" sane ixon -ixoff
start_emulator --silent-from 1
silent=$line

wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ /d "$good" /f >/dev/null
wine reg add 'HKLM\Software\Wine\Ports' /v COM8 /t REG_SZ /d "$silent" /f >/dev/null
restart_wineserver
echo "COM7 -> $good (emulator), COM8 -> $silent (silent emulator)"

cd build-win
ASTRELVO_TEST_COM_PORT=COM7 ASTRELVO_TEST_SILENT_COM_PORT=COM8 ctest --output-on-failure -j2 --timeout 600
