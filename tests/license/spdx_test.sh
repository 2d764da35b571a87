#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file of the project says its license in its first lines:
# the SPDX line, in the file's own comment syntax, within its first three lines
# (after a shebang). Prints each file that lacks it and fails.
#   spdx_test.sh SOURCE_DIR
set -u
root="${1:?usage: $0 SOURCE_DIR}"
cd "$root" || exit 2
line="SPDX-License-Identifier: GPL-3.0-or-later"

list_sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files --cached --others --exclude-standard
  else
    find . -path ./.git -prune -o -path './build*' -prune -o -type f -print | sed 's|^\./||'
  fi
}

missing=0
checked=0
while IFS= read -r f; do
  [ -f "$f" ] || continue
  case "$f" in
    fuzz/corpus/*|data/*|docs/*|examples/*) continue ;;
    *.cpp|*.h|*.hpp|*.c|*.py|*.sh|*.cmake|CMakeLists.txt|*/CMakeLists.txt) ;;
    .ci/run|bench/run) ;;
    *) continue ;;
  esac
  checked=$((checked + 1))
  if ! head -n 3 "$f" | grep -q "$line"; then
    echo "no SPDX line: $f"
    missing=$((missing + 1))
  fi
done < <(list_sources)

echo "$checked source files checked, $missing without the SPDX line"
[ "$checked" -gt 0 ] && [ "$missing" -eq 0 ]
