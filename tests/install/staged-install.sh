#!/usr/bin/env bash
# Installs the build into a staging directory with the package's prefix, as the Debian package does,
# checks that every file is in its place and runs the installed programs from there.
# usage: staged-install.sh CMAKE BUILD_DIR STAGE_DIR VERSION MANUAL_FROM_BINDIR
set -euo pipefail
cmake=$1 build=$2 stage=$3 version=$4 manual_from_bindir=$5
rm -rf "$stage"
DESTDIR="$stage" "$cmake" --install "$build" --prefix /usr >/dev/null
usr="$stage/usr"
id=org.astrelvo.Astrelvo
fail() { echo "FAILED: $*"; exit 1; }

expected=(
  bin/astrelvo-cli bin/astrelvo-emulator
  share/applications/$id.desktop share/metainfo/$id.metainfo.xml
  share/icons/hicolor/scalable/apps/$id.svg
  share/man/man1/astrelvo.1.gz share/man/man1/astrelvo-cli.1.gz share/man/man1/astrelvo-emulator.1.gz
  share/doc/astrelvo/MANUAL.md share/doc/astrelvo/README.md
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for file in "${expected[@]}"; do
  [ -e "$usr/$file" ] || fail "not installed: /usr/$file"
done
# The About box looks for the manual relative to the program; it must be where the install put it.
[ -f "$usr/bin/$manual_from_bindir" ] || fail "the manual is not at bin/$manual_from_bindir"
for page in astrelvo astrelvo-cli astrelvo-emulator; do
  gzip -t "$usr/share/man/man1/$page.1.gz" || fail "$page.1.gz is not a gzip file"
done

"$usr/bin/astrelvo-cli" --help | grep -q '^usage: astrelvo-cli info' || fail "astrelvo-cli --help"
"$usr/bin/astrelvo-emulator" --help | grep -q '^usage: astrelvo-emulator' || fail "astrelvo-emulator --help"
out=$("$usr/bin/astrelvo-cli" info --port virtual 2>&1) || fail "astrelvo-cli info --port virtual: $out"
grep -q '^encoderBits: ' <<<"$out" || fail "astrelvo-cli info printed no parameters: $out"
if [ -e "$usr/bin/astrelvo" ]; then
  # --version and --help need no display.
  [ "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/astrelvo" --version)" = "astrelvo $version" ] ||
    fail "astrelvo --version"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/astrelvo" --help | grep -q '^usage: astrelvo ' ||
    fail "astrelvo --help"
fi
echo "installed and ran from $stage"
