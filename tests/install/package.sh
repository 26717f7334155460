#!/usr/bin/env bash
# Builds the Debian package into a scratch directory and checks its name, its files and that its
# Depends names the runtime libraries. Exits 77 (skipped) without dpkg-shlibdeps.
# usage: package.sh CPACK BUILD_DIR SCRATCH_DIR VERSION
set -euo pipefail
cpack=$1 build=$2 scratch=$3 version=$4
fail() { echo "FAILED: $*"; exit 1; }
if ! command -v dpkg-shlibdeps >/dev/null 2>&1; then
  echo "dpkg-shlibdeps is not installed; tools/install-deps.sh installs it (dpkg-dev)"
  exit 77
fi
rm -rf "$scratch"
(cd "$build" && "$cpack" --config CPackConfig.cmake -B "$scratch" >/dev/null) || fail "cpack"
deb="$scratch/astrelvo_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libkissfft-float libstdc++6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
files=$(dpkg-deb -c "$deb")
for f in ./usr/bin/astrelvo-cli ./usr/bin/astrelvo-emulator ./usr/share/applications/org.astrelvo.Astrelvo.desktop \
         ./usr/share/doc/astrelvo/MANUAL.md ./usr/share/man/man1/astrelvo-cli.1.gz; do
  grep -q " $f\$" <<<"$files" || fail "$f is not in the package"
done
if [ -e "$build/ui/astrelvo" ]; then
  grep -q " ./usr/bin/astrelvo\$" <<<"$files" || fail "astrelvo is not in the package"
  for lib in qt6-qpa-plugins libqt6core6 libqt6widgets6; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
  done
fi
echo "$deb: Depends: $depends"
