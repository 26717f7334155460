#!/usr/bin/env bash
# Fails when a C++ source or header of the repository is not formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
format=clang-format-14
command -v "$format" >/dev/null || format=clang-format
git ls-files -z -- '*.h' '*.cpp' | xargs -0 "$format" --dry-run -Werror
echo "format: every source as .clang-format says"
