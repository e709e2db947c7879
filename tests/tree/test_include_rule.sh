#!/bin/sh
# The include rule of the tree refuses what it must and passes the tree as it is.
#   test_include_rule.sh CMAKE SOURCE_DIR
set -u
cmake=$1 source=$2
fail() { echo "FAIL: $*"; exit 1; }
"$cmake" -DROOT="$source" -P "$source/cmake/check_includes.cmake" || fail "the tree itself breaks the rule"

tree=$(mktemp -d "${TMPDIR:-/tmp}/rorir-rule-XXXXXX")
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/link" "$tree/display" "$tree/app" "$tree/sensor" "$tree/platform/sys"
printf '#include <cstdio>\n#include "link/com232.h"\n#include "state/globals.h"\n' > "$tree/link/fine.cpp"
"$cmake" -DROOT="$tree" -P "$source/cmake/check_includes.cmake" >/dev/null 2>&1 || fail "standard and own headers refused"

# Each breach alone, and the line that names it.
check() {  # folder file text expected-words
  rm -rf "$tree"/*/bad.* "$tree"/platform/sys/bad.*
  printf '%s\n' "$3" > "$tree/$1/$2"
  out=$("$cmake" -DROOT="$tree" -P "$source/cmake/check_includes.cmake" 2>&1) && fail "$1/$2 with $3 passed"
  echo "$out" | tr -s ' \n' ' ' | grep -q "$4" || fail "$1/$2: no '$4' in: $out"
}
check link bad.cpp '#include "display/gui.h"' 'the link draws nothing'
check link bad.h '#include "platform/ui/userint.h"' 'the link draws nothing'
check display bad.cpp '#include <QString>' 'no Qt or system header'
check app bad.cpp '#include <unistd.h>' 'no Qt or system header'
check display bad.cpp '#include "app/main_panel.h"' 'layers above it'
check sensor bad.cpp '#include <QObject>' 'includes no Qt'
check platform/sys bad.cpp '#include <termios.h>' 'only platform/serial'
echo "include rule: every breach refused"
