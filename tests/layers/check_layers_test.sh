#!/usr/bin/env bash
# The layer check on small trees of its own: a tree whose includes all point down passes, and each way an
# include can climb (a `..` in a quoted path, an angled path from the source root, a lower-case Qt header,
# a sub-folder above its own) is refused, naming the file and line.
# Usage: check_layers_test.sh PATH-TO-check-layers.sh
set -uo pipefail
check=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

put() { # file, text
  mkdir -p "$(dirname "$1")"
  printf '%s\n' "$2" >"$1"
}

# A tree in which every include is allowed, the unusual forms among them.
base_tree() {
  rm -rf "$work/tree"
  mkdir -p "$work/tree"
  cd "$work/tree" || exit 1
  put engine/Engine.h '#include <queue>'
  put model/store/Store.h '#include "engine/Engine.h"'
  put model/logs/Log.h '#include "../store/Store.h"'
  put model/analysis/Fit.h '#include <model/logs/Log.h>'
  put ui/analysis/Window.h $'#include <QWidget>\n#include <QtCore/qglobal.h>\n#include "model/analysis/Fit.h"'
  put ui/main/Dialog.h $'#include "ui/analysis/Window.h"\n#include "Helper.h"'
  put ui/main/Helper.h '#include "ui/graph/../common/Small.h"'
  put ui/common/Small.h '#include <qstring.h>'
}

expect() { # pass or fail, what, [text the refusal must hold]
  local want=$1 what=$2 holds=${3:-}
  local out
  out=$("$check" "$work/tree" 2>&1)
  local rc=$?
  if [ "$want" = pass ] && [ $rc -ne 0 ]; then
    echo "FAIL: $what: refused: $out"
    failures=$((failures + 1))
  elif [ "$want" = fail ] && [ $rc -eq 0 ]; then
    echo "FAIL: $what: passed"
    failures=$((failures + 1))
  elif [ -n "$holds" ] && [[ $out != *"$holds"* ]]; then
    echo "FAIL: $what: the refusal does not say '$holds': $out"
    failures=$((failures + 1))
  else
    echo "ok: $what"
  fi
}

base_tree
expect pass "includes that all point down"

# Each case: the file added to the allowed tree, its text, what the refusal says.
cases=(
  'engine/Up.cpp|#include "engine/../ui/main/Dialog.h"|engine/Up.cpp:1: engine/ may not include ui/'
  'model/store/Up.cpp|#include <ui/main/Dialog.h>|model/store/Up.cpp:1: model/ may not include ui/'
  'app/Up.cpp|  #  include <qglobal.h>|app/Up.cpp:1: Qt below ui/'
  'engine/Up.cpp|#include <QTCORE/QObject>|engine/Up.cpp:1: Qt below ui/'
  'model/logs/Up.cpp|#include "model/analysis/Fit.h"|model/logs/ may not include model/analysis/'
  'model/logs/Up.cpp|#include "../analysis/Fit.h"|model/logs/ may not include model/analysis/'
  'ui/analysis/Up.cpp|#include "ui/main/Dialog.h"|ui/analysis/ may not include ui/main/'
  'ui/dialogs/Up.cpp|#include <ui/main/Helper.h>|ui/dialogs/ may not include ui/main/'
  'ui/extra/New.cpp|#include "ui/common/Small.h"|ui/extra is not in the sub-folder order'
  'emulator/Up.cpp|#include "engine/Engine.h"|emulator/ may include platform/ and rz4/ only'
  'model/store/Up.cpp|#include "tools/cli/Options.h"|no product file includes tools/'
)
for c in "${cases[@]}"; do
  IFS='|' read -r file text holds <<<"$c"
  base_tree
  put "$file" "$text"
  expect fail "$file: $text" "$holds"
done

if [ $failures -ne 0 ]; then
  echo "$failures case(s) failed"
  exit 1
fi
