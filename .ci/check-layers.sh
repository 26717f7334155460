#!/usr/bin/env bash
# Fails when a product file includes a header of a layer above its own (docs/ARCHITECTURE.md), or when
# code below ui/ includes Qt. The layers, lowest first:
#   platform < base < rz4 < engine < model < app < ui
# The emulator stands beside the engine: it may include platform/ and rz4/ only, and only ui/ may
# include it. tests/ and tools/ may include any layer; no product file includes them.
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
  case $1 in
    platform) echo 0 ;; base) echo 1 ;; rz4) echo 2 ;; engine) echo 3 ;; model) echo 4 ;;
    app) echo 5 ;; ui) echo 6 ;; *) echo -1 ;;
  esac
}

allowed() { # the including file's layer, the included header's top folder
  local from=$1 to=$2
  [ "$from" = "$to" ] && return 0
  case $from in
    emulator) [ "$to" = platform ] || [ "$to" = rz4 ] ;;
    *)
      if [ "$to" = emulator ]; then [ "$from" = ui ]; return; fi
      local f t
      f=$(rank "$from")
      t=$(rank "$to")
      [ "$t" -ge 0 ] && [ "$t" -le "$f" ]
      ;;
  esac
}

status=0
layers="platform base rz4 engine model app ui emulator"
while IFS=: read -r file line text; do
  from=${file%%/*}
  if [[ $text =~ \#[[:space:]]*include[[:space:]]*\"([^\"/]+)/[^\"]*\" ]]; then
    to=${BASH_REMATCH[1]}
    if ! allowed "$from" "$to"; then
      echo "$file:$line: $from/ may not include $to/: ${text#"${text%%[![:space:]]*}"}" >&2
      status=1
    fi
  elif [[ $text =~ \#[[:space:]]*include[[:space:]]*\<Q ]] && [ "$from" != ui ]; then
    echo "$file:$line: Qt below ui/: $text" >&2
    status=1
  fi
done < <(git grep -n -E '^\s*#\s*include\s*["<]' -- $(for l in $layers; do printf '%s/*.h %s/*.cpp ' "$l" "$l"; done))

if [ $status -eq 0 ]; then
  echo "layers: every include points down"
fi
exit $status
