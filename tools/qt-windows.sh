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
# (qt-<version>-<key>.log); a failed build leaves no prefix behind, so the next call starts again.
# Everything but the prefix goes to standard error.
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

version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null | sed 's/[-+].*//')
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

echo "qt-windows: building Qt $version for MinGW-w64 (about half an hour on two idle cores); log: $log" >&2
{
  # Debian's source package, from a deb-src entry for the mirror that apt already uses.
  if ! apt-get source --print-uris qt6-base >/dev/null 2>&1; then
    uri=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
    [ -n "$uri" ] || uri=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "deb-src ${uri:-http://deb.debian.org/debian} $suite main" >/etc/apt/sources.list.d/astrelvo-src.list
    apt-get update -qq
  fi
  (cd "$work" && apt-get source -qq qt6-base)
  src=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)
  cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "${qt_options[@]}"
  cmake --build "$work/build" -j "$jobs"
  cmake --install "$work/build"
} >"$log" 2>&1 || { echo "qt-windows: the Qt build failed; see $log" >&2; exit 1; }

touch "$prefix/.complete"
trap cleanup EXIT
echo "$prefix"
