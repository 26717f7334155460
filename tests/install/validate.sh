#!/usr/bin/env bash
# Runs a validator (desktop-file-validate, appstreamcli, ...) on a file; exits 77, which ctest counts as
# skipped, when the validator is not installed (tools/install-deps.sh installs it).
set -uo pipefail
tool=$1
if ! command -v "$tool" >/dev/null 2>&1; then
  echo "$tool is not installed; tools/install-deps.sh installs it"
  exit 77
fi
exec "$@"
