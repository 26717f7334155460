#!/usr/bin/env bash
# The build lists its sources by name (no globs): fails when a source file or a test program of the
# product's folders is named in no CMakeLists.txt, so that nothing is left out of the build unnoticed.
set -euo pipefail
cd "$(dirname "$0")/.."
lists=$(git ls-files -- 'CMakeLists.txt' '*/CMakeLists.txt' | xargs cat)
status=0
while IFS= read -r file; do
  case $file in
    # a test program: its name alone on a line of a list
    tests/core/*_test.cpp | tests/ui/*_test.cpp) pattern="^[[:space:]]+$(basename "$file" _test.cpp)\)?$" ;;
    # a source: its file name ending a path or a word
    *) pattern="(^|[[:space:]/])$(basename "$file" | sed 's/\./\\./g')(\)|[[:space:]]|$)" ;;
  esac
  if ! grep -qE -- "$pattern" <<<"$lists"; then
    echo "$file: named in no CMakeLists.txt" >&2
    status=1
  fi
done < <(git ls-files -- {platform,base,rz4,engine,model,app,ui,emulator}/'*.cpp' 'tests/core/*_test.cpp' \
           'tests/ui/*_test.cpp')
if [ $status -eq 0 ]; then
  echo "sources: every one is in the build"
fi
exit $status
