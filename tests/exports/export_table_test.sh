#!/usr/bin/env bash
# The dynamic symbol table of wbremote.dll holds the names of the export list
# and no other symbol of the project.
set -euo pipefail
dll="$1/wbremote.dll"
def="$2/wbremote/wbremote.def"
expected=$(sed -n 's/^[[:space:]]*\([A-Za-z_][A-Za-z0-9_]*\)[[:space:]]*@[0-9]\+.*/\1/p' "$def" | sort)
actual=$(nm -D --defined-only "$dll" | awk '{print $3}' | sort)
[ "$(echo "$expected" | wc -l)" -eq 15 ] || { echo "export list does not hold fifteen names"; exit 1; }
if [ "$expected" != "$actual" ]; then
  echo "exported symbols differ from the export list:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
# Ordinals run 1 to 15 in alphabetical order of the names.
ordinals=$(sed -n 's/^[[:space:]]*\([A-Za-z_][A-Za-z0-9_]*\)[[:space:]]*@\([0-9]\+\).*/\2 \1/p' "$def")
[ "$(echo "$ordinals" | awk '{print $2}')" = "$expected" ] || { echo "export list not alphabetical"; exit 1; }
[ "$(echo "$ordinals" | awk '{print $1}' | tr '\n' ' ')" = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 " ] || {
  echo "ordinals are not 1 to 15"; exit 1; }
echo "1 passed, 0 failed"
