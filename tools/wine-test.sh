#!/usr/bin/env bash
# Cross-builds the Windows programs (MinGW-w64) into build-win and tests them under Wine:
#  - the core and command-line tests, which also reach the controller emulator through COM ports that
#    Wine maps to pseudo-terminals (COM7: a well-behaved controller on a line left in a terminal's
#    cooked state, COM8: one that never answers);
#  - with the user interface (Qt for MinGW-w64 from tools/qt-windows.sh, built on first use): the UI
#    suites in one program on Qt's offscreen platform; the program on Windows' own platform under Xvfb,
#    connected through COM9 (a third emulator), with pictures of its main and analysis windows in
#    build-win/screenshots; and the NSIS installer, installed silently, its astrelvo-cli.exe run,
#    uninstalled silently, nothing left behind.
# ASTRELVO_UI=OFF in the environment builds and tests only the core and the command-line program.
# The emulator program comes from the native build in build/ (its configuration left as it is), or from
# build-win/native when there is none. Wine keeps its own prefix in
# build-win/wineprefix, so nothing outside the tree changes.
set -euo pipefail
cd "$(dirname "$0")/.."

ui=${ASTRELVO_UI:-ON}
export WINEDEBUG=-all
export WINEPREFIX="$PWD/build-win/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml=" # neither Mono nor Gecko is needed: no prompts

# The emulator from the developer's native build when there is one (built there if need be, its
# configuration left as it is), else from a native build of its own beside the Windows one.
if [ -f build/CMakeCache.txt ]; then
  native=build
else
  native=build-win/native
  [ -f "$native/CMakeCache.txt" ] || cmake -S . -B "$native" -G Ninja -DASTRELVO_UI=OFF >/dev/null
fi
cmake --build "$native" --target astrelvo-emulator
emulator=$native/tools/emulator/astrelvo-emulator

qt_prefix=()
if [ "$ui" = ON ]; then
  qt_prefix=(-DCMAKE_PREFIX_PATH="$(tools/qt-windows.sh)")
fi
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DASTRELVO_UI="$ui" \
      "${qt_prefix[@]}" >/dev/null

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

# Qt's offscreen platform on Windows reads its fonts from one folder only (QT_QPA_FONTDIR, else a folder
# beside Qt's libraries) and so finds none under Wine, and draws every letter as a box. It is given
# Liberation Sans, which also stands in for Arial (the graph's label font) on Linux, so the UI suites
# measure text as they do there. Wine passes no QT_ variable of the Unix side to a Windows program;
# WINEQT_QPA_FONTDIR reaches it as QT_QPA_FONTDIR.
fonts=/usr/share/fonts/truetype/liberation
[ -f "$fonts/LiberationSans-Regular.ttf" ] || {
  echo "no Liberation Sans in $fonts: install fonts-liberation (tools/install-deps.sh)" >&2
  exit 1
}
mkdir -p "$work/fonts"
ln -s "$fonts"/LiberationSans-*.ttf "$work/fonts/"
export WINEQT_QPA_FONTDIR="Z:$work/fonts"

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
# a real port: the program must set every line setting it relies on. Its XON and XOFF characters are
# the same (Wine's port then reports them so, as some drivers do), which Windows refuses to be set.
start_emulator --hardware-version 0x13111311
good=$line
stty -F "$good" sane ixon -ixoff start '^S' stop '^S'
start_emulator --silent-from 1
silent=$line
start_emulator --worm-period 60 --amplitude 8
program=$line

wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ /d "$good" /f >/dev/null
wine reg add 'HKLM\Software\Wine\Ports' /v COM8 /t REG_SZ /d "$silent" /f >/dev/null
wine reg add 'HKLM\Software\Wine\Ports' /v COM9 /t REG_SZ /d "$program" /f >/dev/null
restart_wineserver
echo "COM7 -> $good (emulator, cooked line, XON = XOFF), COM8 -> $silent (silent emulator), COM9 -> $program (emulator)"

# The program on Windows' own platform under Xvfb (its screen readable as a file), connected through
# COM9: first astrelvo.exe itself (a picture of the screen once it is connected), then the same program
# wiring inside the UI test program, which logs and opens the analysis window and pictures both. Wine's
# desktop process takes the display it finds when the server starts, so the server starts again with
# one, after the tests (which run without: a desktop started by a test would keep its output open).
program_check() {
  local shots=build-win/screenshots fb="$work/fb"
  mkdir -p "$shots" "$fb"
  # Xvfb picks a free display and names it once it accepts clients.
  Xvfb -displayfd 3 -screen 0 1280x800x24 -fbdir "$fb" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  local xvfb=$! display=""
  pids+=("$xvfb")
  for _ in $(seq 100); do
    display=$(head -n1 "$work/display" 2>/dev/null || true)
    [ -z "$display" ] && kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$display" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=:$display
  restart_wineserver
  wine build-win/ui/astrelvo.exe --port COM9 --connect >"$work/program.log" 2>&1 &
  local exe=$!
  sleep 15
  tools/xwd-to-png.py "$fb/Xvfb_screen0" "$shots/astrelvo_exe_windows.png"
  kill "$exe" 2>/dev/null || true
  wine taskkill /f /im astrelvo.exe >/dev/null 2>&1 || true
  wait "$exe" 2>/dev/null || true
  local result=0
  ASTRELVO_TEST_PROGRAM_PORT=COM9 \
    wine build-win/ui/ui_tests.exe -platform windows --gtest_filter='ApplicationTest.ConnectedThroughAPort*' \
    >"$work/program-test.log" 2>&1 || result=$?
  grep -q '\[  PASSED  \] 1 test' "$work/program-test.log" || result=1
  [ "$result" -eq 0 ] || cat "$work/program-test.log" >&2
  return "$result"
}

# The installer: installed silently, its astrelvo-cli.exe run, uninstalled silently, nothing left.
installer_check() {
  local installer drive_c="$WINEPREFIX/drive_c" dir menu key
  installer=$(ls build-win/Astrelvo-*-win64.exe)
  dir="$drive_c/Program Files/Astrelvo"
  menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Astrelvo"
  key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Astrelvo'
  wine "$installer" /S
  for f in astrelvo.exe astrelvo-cli.exe MANUAL.md LICENSE licenses/LGPL-3.0.txt Uninstall.exe; do
    [ -f "$dir/$f" ] || { echo "installer: $f was not installed" >&2; return 1; }
  done
  [ -f "$menu/Astrelvo.lnk" ] || { echo "installer: no Start-menu entry" >&2; return 1; }
  wine reg query "$key" >/dev/null 2>&1 || { echo "installer: not registered for removal" >&2; return 1; }
  wine "C:\\Program Files\\Astrelvo\\astrelvo-cli.exe" info --port virtual >"$work/installed-info.txt" 2>&1 || {
    cat "$work/installed-info.txt" >&2
    echo "installer: the installed astrelvo-cli.exe failed" >&2
    return 1
  }
  # The uninstaller copies itself away and returns at once; its copy removes the rest.
  wine "C:\\Program Files\\Astrelvo\\Uninstall.exe" /S
  for _ in $(seq 100); do
    [ -e "$dir" ] || [ -e "$menu" ] || break
    sleep 0.2
  done
  [ ! -e "$dir" ] || { echo "installer: left behind:" >&2; find "$dir" >&2; return 1; }
  [ ! -e "$menu" ] || { echo "installer: the Start-menu folder was left behind" >&2; return 1; }
  for k in "$key" 'HKLM\Software\Astrelvo'; do
    if wine reg query "$k" >/dev/null 2>&1; then
      echo "installer: the registry key $k was left behind" >&2
      return 1
    fi
  done
  echo "installer: installed, ran astrelvo-cli.exe info --port virtual, uninstalled; nothing left"
}

# A program that crashes ends at once instead of waiting in Wine's debugger.
wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true

result=0
(cd build-win && ASTRELVO_TEST_COM_PORT=COM7 ASTRELVO_TEST_SILENT_COM_PORT=COM8 \
   ctest --output-on-failure -j2 --timeout 600) || result=1
# The tests connected through COM7 although its characters were equal: the program set its own, which
# Wine put on the terminal, with its flow control off.
line_settings=$(stty -a -F "$good")
for setting in 'start = ^Q;' 'stop = ^S;' '-ixon'; do
  grep -qF -- "$setting" <<<"$line_settings" || {
    echo "COM7 was not set up: no '$setting' in: $line_settings" >&2
    result=1
  }
done
if [ "$ui" = ON ]; then
  program_check || { echo "the program check under Xvfb failed" >&2; result=1; }
  cmake --build build-win --target package >"$work/package.log" 2>&1 || { cat "$work/package.log" >&2; exit 1; }
  installer_check || result=1
fi
exit "$result"
