#!/usr/bin/env bash
# Prints the install prefix of a static Qt 6 for MinGW-w64 (64-bit Windows), building it on first use
# from Debian's qt6-base source package (the same Qt version the Linux build uses) and reusing it after.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DCMAKE_PREFIX_PATH="$(tools/qt-windows.sh)"
#
# The cache lives outside the repository, in ${XDG_CACHE_HOME:-$HOME/.cache}/astrelvo/, keyed by the
# source version and the configure options below. Only what the program needs is built: Core, Gui,
# Widgets, the windows and offscreen platform plugins, the Windows style and PNG, with Qt's own bundled
# zlib, libpng, PCRE2, FreeType and HarfBuzz. The build log stays beside the prefix
# (qt-<version>-<key>.log); the first step that fails ends the script with its name and the log, and
# leaves no prefix behind, so the next call starts again. Without a deb-src entry in apt's sources, one
# is added for each deb entry apt has for this release (root's work: sudo when not root); without
# either, the script says what to add. Everything but the prefix goes to standard error.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/astrelvo
jobs=${ASTRELVO_QT_JOBS:-$(nproc)}

# The configure options. Changing them changes the cache key, so a new Qt is built beside the old one.
qt_options=(
  -DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=Release
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DINPUT_zlib=qt -DINPUT_libpng=qt -DINPUT_pcre=qt -DINPUT_freetype=qt -DINPUT_harfbuzz=qt
  -DINPUT_doubleconversion=qt -DINPUT_libjpeg=no -DINPUT_libmd4c=qt
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_icu=OFF
  -DFEATURE_vulkan=OFF -DFEATURE_jpeg=OFF -DFEATURE_testlib=OFF -DFEATURE_tabletevent=OFF
  -DFEATURE_gif=OFF -DFEATURE_ico=OFF -DFEATURE_direct2d=ON -DFEATURE_textmarkdownreader=ON
  # No interprocedural register allocation: see cmake/mingw-w64.cmake (the program's copy of an inline
  # function may stand in for Qt's at link time).
  -DCMAKE_C_FLAGS=-fno-ipa-ra -DCMAKE_CXX_FLAGS=-fno-ipa-ra
)
key=$(printf '%s\n' "${qt_options[@]}" | sha1sum | cut -c1-10)

# The host's Qt (its tools build this one): its version without the Debian revision.
version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)
version=${version%%[-+]*}
[ -n "$version" ] || { echo "qt-windows: qt6-base-dev is not installed (tools/install-deps.sh)" >&2; exit 1; }
prefix=$cache/qt-$version-mingw-$key
log=$cache/qt-$version-mingw-$key.log

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache"
# One build at a time: a second caller waits for the first and then reuses its prefix.
exec 9>"$cache/qt-windows.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

# A prefix without its completion mark is what an interrupted build left: it goes first.
rm -rf "$prefix"
work=$(mktemp -d "$cache/qt-build.XXXXXX")
cleanup() { rm -rf "$work"; }
trap 'cleanup; rm -rf "$prefix"' EXIT
trap 'exit 1' INT TERM HUP

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

# Runs one step of the build with its output in the log; the first step that fails ends the script,
# naming itself and the log.
step() { # name, command...
  local name=$1
  shift
  echo "=== $name" >>"$log"
  "$@" >>"$log" 2>&1 || { echo "qt-windows: $name failed; see $log" >&2; exit 1; }
}

# Debian's source package needs a deb-src entry. Without one, apt's own deb entries for this release
# (its suites: the release's name, -updates, -security) are copied as deb-src entries: the same
# mirrors, suites, components and keys, in the same format (deb822 stanzas or one-line entries).
source_entries() {
  local codename list parts
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
  [ -n "$codename" ] || { echo "qt-windows: the system names no release (VERSION_CODENAME)" >&2; exit 1; }
  local stanzas lines
  stanzas=$( (cat "$parts"/*.sources 2>/dev/null || true) | awk -v release="$codename" '
    BEGIN { RS = ""; FS = "\n" }
    {
      types = ""; suites = ""; enabled = 1; out = ""
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^#/) continue
        if ($i ~ /^Types:/) { types = $i; out = out "Types: deb-src\n"; continue }
        if ($i ~ /^Suites:/) suites = $i
        if (tolower($i) ~ /^enabled: *no/) enabled = 0
        out = out $i "\n"
      }
      n = split(suites, s, /[ \t]+/)
      ours = 0
      for (k = 2; k <= n; k++) if (s[k] == release || index(s[k], release "-") == 1) ours = 1
      if (enabled && ours && types ~ /[ \t]deb([ \t]|$)/) printf "%s\n", out
    }')
  lines=$( (cat "$list" "$parts"/*.list 2>/dev/null || true) | awk -v release="$codename" '
    $1 == "deb" {
      k = 2
      if ($k ~ /^\[/) { while (k <= NF && $k !~ /\]$/) k++; k++ }
      suite = $(k + 1)
      if (suite == release || index(suite, release "-") == 1) { sub(/^deb/, "deb-src"); print }
    }')
  if [ -z "$stanzas" ] && [ -z "$lines" ]; then
    echo "qt-windows: apt has no deb-src entry for qt6-base and no deb entry for $codename to copy one" >&2
    echo "  from. Add a deb-src entry for the Debian mirror you use (for example a line" >&2
    echo "  'deb-src <mirror> $codename main' in $list), run apt-get update, and start again." >&2
    exit 1
  fi
  if [ -n "$stanzas" ]; then
    printf '%s\n' "$stanzas" >"$work/astrelvo-src.sources"
    step "adding deb-src entries ($parts/astrelvo-src.sources)" \
      $SUDO install -m 644 "$work/astrelvo-src.sources" "$parts/astrelvo-src.sources"
  fi
  if [ -n "$lines" ]; then
    printf '%s\n' "$lines" >"$work/astrelvo-src.list"
    step "adding deb-src entries ($parts/astrelvo-src.list)" \
      $SUDO install -m 644 "$work/astrelvo-src.list" "$parts/astrelvo-src.list"
  fi
  step "apt-get update" $SUDO apt-get update -qq
}

echo "qt-windows: building Qt $version for MinGW-w64 (about half an hour on two idle cores); log: $log" >&2
: >"$log"
if ! apt-get source --print-uris qt6-base >/dev/null 2>&1; then
  source_entries
fi
cd "$work"
step "apt-get source qt6-base" apt-get source -qq qt6-base
cd "$repo"
src=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)
[ -n "$src" ] || { echo "qt-windows: apt-get source left no qt6-base folder; see $log" >&2; exit 1; }
step "configuring Qt" cmake -S "$src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" "${qt_options[@]}"
step "building Qt" cmake --build "$work/build" -j "$jobs"
step "installing Qt" cmake --install "$work/build"

touch "$prefix/.complete"
trap cleanup EXIT
echo "$prefix"
