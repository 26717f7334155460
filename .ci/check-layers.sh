#!/usr/bin/env bash
# Fails when a product file includes a file of a layer above its own, or of a sub-folder above its own
# (docs/ARCHITECTURE.md), or when code below ui/ includes Qt. The layers, lowest first:
#   platform < base < rz4 < engine < model < app < ui
# and the sub-folders of model/ and ui/, lowest first:
#   model/: store < logs < analysis
#   ui/:    common < graph < analysis < dialogs < main
# The emulator stands beside the engine: it may include platform/ and rz4/ only, and only ui/ may
# include it. tests/ and tools/ may include any layer; no product file includes them.
#
# Every include, quoted or angled, is resolved as the compiler would: a quoted one next to the including
# file first, then (like an angled one) from the source root, which is on the include path; `..` and
# `.` are taken out, and backslashes count as slashes. An include that names no file of the tree but a
# path in one of its folders is judged by that path. One that names nothing of the tree is a system or
# third-party header; below ui/ it must not be Qt's, in any case (<QWidget>, <qglobal.h>, <QtCore/...>).
#
# Usage: check-layers.sh [DIR]   checks the tracked files of the repository, or every file under DIR.
set -euo pipefail

layers="platform base rz4 engine model app ui emulator"
if [ $# -gt 0 ]; then
  cd "$1"
  list_files() { find $layers -type f \( -name '*.h' -o -name '*.cpp' \) 2>/dev/null || true; }
else
  cd "$(dirname "$0")/.."
  list_files() { git ls-files -- $(for l in $layers; do printf '%s/*.h %s/*.cpp ' "$l" "$l"; done); }
fi

# Lowest first; the sub-folders of a layer that has an order are ranked within it.
declare -A rank=([platform]=0 [base]=1 [rz4]=2 [engine]=3 [model]=4 [app]=5 [ui]=6)
declare -A subrank=([model/store]=1 [model/logs]=2 [model/analysis]=3
                    [ui/common]=1 [ui/graph]=2 [ui/analysis]=3 [ui/dialogs]=4 [ui/main]=5)
declare -A ordered=([model]=1 [ui]=1)

# Sets REPLY to the path without `.`, `..` and empty parts; fails when it climbs above the root.
normalise() {
  local part IFS=/
  local -a parts out=()
  read -ra parts <<<"$1"
  for part in "${parts[@]}"; do
    case $part in
      '' | .) ;;
      ..)
        [ ${#out[@]} -gt 0 ] || return 1
        unset 'out[${#out[@]}-1]'
        ;;
      *) out+=("$part") ;;
    esac
  done
  REPLY="${out[*]}"
}

# Whether a path lies in one of the tree's folders.
ours() {
  [[ $1 == */* ]] || return 1
  case ${1%%/*} in
    platform | base | rz4 | engine | model | app | ui | emulator | tools | tests | third_party) return 0 ;;
  esac
  return 1
}

# Sets REPLY to the tree's file an include names (existing or not); fails for a system header.
resolve() { # including file, included name, quote or angle
  local file=$1 name=${2//\\//} kind=$3 c
  local -a candidates=()
  [ "$kind" = quote ] && candidates+=("${file%/*}/$name")
  candidates+=("$name")
  for c in "${candidates[@]}"; do
    if normalise "$c" && [ -f "$REPLY" ]; then return 0; fi
  done
  # A file that is not there: judged by the path from the root when that is in the tree's folders, else
  # by the one next to the including file.
  local i
  for ((i = ${#candidates[@]} - 1; i >= 0; i--)); do
    if normalise "${candidates[$i]}" && ours "$REPLY"; then return 0; fi
  done
  return 1
}

# The sub-folder of a path ("" for a file directly in its layer's folder).
subfolder() {
  local rest=${1#*/}
  REPLY=""
  [[ $rest == */* ]] && REPLY=${rest%%/*}
  return 0
}

# Sets REPLY to why the include is refused; empty when it is allowed.
refusal() { # including file, included file (both from the root)
  local from=${1%%/*} to=${2%%/*} fromsub tosub
  REPLY=""
  case $to in
    tools | tests)
      REPLY="no product file includes $to/"
      return
      ;;
  esac
  if [ "$from" = emulator ]; then
    case $to in emulator | platform | rz4) ;; *) REPLY="emulator/ may include platform/ and rz4/ only" ;; esac
    return
  fi
  if [ "$to" = emulator ]; then
    [ "$from" = ui ] || REPLY="$from/ may not include emulator/"
    return
  fi
  [ -n "${rank[$to]:-}" ] || return 0 # third_party/ and the like
  if [ "${rank[$to]}" -gt "${rank[$from]}" ]; then
    REPLY="$from/ may not include $to/"
    return
  fi
  [ "$to" = "$from" ] && [ -n "${ordered[$from]:-}" ] || return 0
  subfolder "$1"
  fromsub=$REPLY
  subfolder "$2"
  tosub=$REPLY
  REPLY=""
  if [ -z "${subrank[$from/$fromsub]:-}" ]; then
    REPLY="$from/$fromsub is not in the sub-folder order of $from/"
  elif [ -z "${subrank[$to/$tosub]:-}" ]; then
    REPLY="$to/$tosub is not in the sub-folder order of $to/"
  elif [ "${subrank[$to/$tosub]}" -gt "${subrank[$from/$fromsub]}" ]; then
    REPLY="$from/$fromsub/ may not include $to/$tosub/"
  fi
}

# Whether a header that is not the tree's is Qt's: QtCore/..., QWidget, qglobal.h in any case. <queue>
# is the standard library's.
is_qt() {
  local name=${1//\\//}
  local first=${name%%/*} base=${name##*/}
  first=${first,,}
  base=${base,,}
  [[ $name == */* && $first == qt* ]] && return 0
  [[ $base == q* && $base != queue ]]
}

status=0
include='^[[:space:]]*#[[:space:]]*include[[:space:]]*(["<])([^">]+)[">]'
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  text=${rest#*:}
  [[ $text =~ $include ]] || continue
  name=${BASH_REMATCH[2]}
  kind=angle
  [ "${BASH_REMATCH[1]}" = '"' ] && kind=quote
  shown=${text#"${text%%[![:space:]]*}"}
  if resolve "$file" "$name" "$kind"; then
    target=$REPLY
    refusal "$file" "$target"
    if [ -n "$REPLY" ]; then
      echo "$file:$line: $REPLY: $shown (that is $target)" >&2
      status=1
    fi
  elif [ "${file%%/*}" != ui ] && is_qt "$name"; then
    echo "$file:$line: Qt below ui/: $shown" >&2
    status=1
  fi
done < <(list_files | tr '\n' '\0' | xargs -0 -r grep -n -H -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' || true)

if [ $status -eq 0 ]; then
  echo "layers: every include points down"
fi
exit $status
