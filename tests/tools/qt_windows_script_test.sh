#!/usr/bin/env bash
# tools/qt-windows.sh's ways of failing, run against stand-ins for dpkg-query, apt-get, apt-config, id,
# sudo and cmake in a scratch cache and apt folder (nothing is built, fetched or installed): a missing
# qt6-base-dev is said; deb-src entries are copied from apt's own deb entries for this release only
# (deb822 and one-line alike), through sudo when not root; without any, the script says what to add;
# the first failing step stops the script, names itself and its log and leaves no prefix behind.
set -uo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/tools/qt-windows.sh
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$release" ] || { echo "SKIP: the system names no release"; exit 0; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir -p "$tmp/bin"
stub() { printf '#!/usr/bin/env bash\n%s\n' "$2" >"$tmp/bin/$1"; chmod +x "$tmp/bin/$1"; }
stub dpkg-query '[ -n "${STUB_QT:-}" ] && printf "%s" "$STUB_QT" || exit 1'
stub id '[ "$1" = -u ] && echo "${STUB_UID:-0}"'
stub sudo 'echo "sudo $*" >>"$STUB_CALLS"; "$@"'
stub apt-config 'echo "list='"'"'$STUB_ETC/sources.list'"'"'"; echo "parts='"'"'$STUB_ETC/sources.list.d/'"'"'"'
stub apt-get 'echo "apt-get $*" >>"$STUB_CALLS"
case "$1 $2" in
  "source --print-uris") [ -e "$STUB_ETC/updated" ] ;;
  "source -qq") mkdir qt6-base-6.4.2 ;;
  "update -qq") touch "$STUB_ETC/updated" ;;
esac'
stub cmake 'echo "cmake $*" >>"$STUB_CALLS"; [ "$1" != -S ] || [ -z "${STUB_CONFIGURE_FAILS:-}" ]'

# One run in a fresh scratch tree: apt's sources from the given deb822 and one-line texts.
run() { # deb822 text, one-line text, more environment...
  rm -rf "$tmp/run"
  mkdir -p "$tmp/run/etc/sources.list.d"
  [ -z "$1" ] || printf '%s\n' "$1" >"$tmp/run/etc/sources.list.d/debian.sources"
  [ -z "$2" ] || printf '%s\n' "$2" >"$tmp/run/etc/sources.list"
  shift 2
  env PATH="$tmp/bin:$PATH" XDG_CACHE_HOME="$tmp/run/cache" STUB_ETC="$tmp/run/etc" \
    STUB_CALLS="$tmp/run/calls" STUB_QT=6.4.2+dfsg-10 "$@" \
    bash "$script" >"$tmp/run/out" 2>"$tmp/run/err"
  status=$?
  touch "$tmp/run/calls"
}
expect_failure() { # what, text standard error must hold
  [ "$status" -ne 0 ] || fail "$1: succeeded"
  grep -qF -- "$2" "$tmp/run/err" || { fail "$1: no '$2' in:"; cat "$tmp/run/err" >&2; }
  [ ! -s "$tmp/run/out" ] || fail "$1: printed a prefix"
  ! ls -d "$tmp/run/cache/astrelvo/qt-"*mingw-* 2>/dev/null | grep -qv '\.log$' || fail "$1: left a prefix"
}

stanzas="Types: deb
# a comment
URIs: http://mirror.invalid/debian
Suites: $release $release-updates
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 key

Types: deb
URIs: https://vendor.invalid/apt
Suites: nodistro
Components: main"
lines="deb [signed-by=/k.gpg arch=amd64] http://mirror.invalid/security $release-security main
deb https://vendor.invalid/other other-$release main
# deb http://mirror.invalid/debian $release contrib"

run "" "" STUB_QT=
expect_failure "without qt6-base-dev" "qt6-base-dev is not installed"

run "" "deb https://vendor.invalid/apt nodistro main"
expect_failure "without a deb entry for the release" "Add a deb-src entry"
grep -q "update" "$tmp/run/calls" && fail "without a deb entry: apt-get update ran"

run "$stanzas" "$lines" STUB_UID=1000 STUB_CONFIGURE_FAILS=1
expect_failure "a failing configure" "configuring Qt failed; see $tmp/run/cache/astrelvo/qt-6.4.2-mingw-"
grep -q -- "--build" "$tmp/run/calls" && fail "a failing configure: the build went on"
for call in "sudo install -m 644" "sudo apt-get update -qq"; do
  grep -qF "$call" "$tmp/run/calls" || fail "not root: no '$call'"
done
expected_sources="Types: deb-src
URIs: http://mirror.invalid/debian
Suites: $release $release-updates
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 key"
[ "$(cat "$tmp/run/etc/sources.list.d/astrelvo-src.sources" 2>/dev/null)" = "$expected_sources" ] ||
  fail "deb822 copy: $(cat "$tmp/run/etc/sources.list.d/astrelvo-src.sources" 2>&1)"
expected_list="deb-src [signed-by=/k.gpg arch=amd64] http://mirror.invalid/security $release-security main"
[ "$(cat "$tmp/run/etc/sources.list.d/astrelvo-src.list" 2>/dev/null)" = "$expected_list" ] ||
  fail "one-line copy: $(cat "$tmp/run/etc/sources.list.d/astrelvo-src.list" 2>&1)"

# As root no sudo; a failing apt-get source stops before configuring.
stub apt-get 'echo "apt-get $*" >>"$STUB_CALLS"; [ "$1 $2" != "source -qq" ]'
run "" "" STUB_UID=0
expect_failure "a failing apt-get source" "apt-get source qt6-base failed; see "
grep -q "sudo" "$tmp/run/calls" && fail "root: sudo was used"
grep -q "cmake" "$tmp/run/calls" && fail "a failing apt-get source: cmake ran"

[ "$failures" -eq 0 ] && echo "qt-windows.sh: every failure stops and says why"
exit $((failures > 0))
