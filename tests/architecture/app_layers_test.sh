#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The folders of src/app include each other one way only: common below
# everything, the pages above it (link <- live <- setup <- maps, compare under
# maps, dialogs above setup, history on common alone), the window above the
# pages and the demo on top.
# Prints each include that goes the wrong way and fails.
#   app_layers_test.sh SOURCE_DIR
set -u
root="${1:?usage: $0 SOURCE_DIR}"
app="$root/src/app"
[ -d "$app/common" ] || { echo "no $app/common"; exit 2; }

# The folders each folder may include (itself and what lies below it).
declare -A allowed=(
  [common]="common"
  [link]="common link"
  [compare]="common compare"
  [live]="common link live"
  [setup]="common link live setup"
  [maps]="common link live setup compare maps"
  [dialogs]="common link live setup dialogs"
  [history]="common history"
  [window]="common link live setup compare maps dialogs history window"
  [demo]="common link live setup compare maps dialogs history window demo"
)

bad=0
checked=0
for folder in "${!allowed[@]}"; do
  [ -d "$app/$folder" ] || continue
  for f in "$app/$folder"/*.cpp "$app/$folder"/*.h; do
    [ -f "$f" ] || continue
    checked=$((checked + 1))
    while IFS= read -r hit; do
      target=$(sed -E 's|^#[[:space:]]*include[[:space:]]*"app/([^/"]+)/.*|\1|' <<<"$hit")
      if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
        echo "${f#$root/}: $folder must not include $target: $hit"
        bad=$((bad + 1))
      fi
    done < <(grep -E '^#[[:space:]]*include[[:space:]]*"app/[^/"]+/' "$f")
    # A path that climbs out of the folder hides where it goes.
    if grep -qE '^#[[:space:]]*include[[:space:]]*"\.\./' "$f"; then
      echo "${f#$root/}: includes by a relative path out of its folder"
      bad=$((bad + 1))
    fi
  done
done

# A folder not in the table has no place in the order yet.
for d in "$app"/*/; do
  name=$(basename "$d")
  if [ -z "${allowed[$name]+x}" ]; then
    echo "src/app/$name: a folder with no place in the order of the app's libraries"
    bad=$((bad + 1))
  fi
done

echo "$checked files checked, $bad includes against the order"
[ "$checked" -gt 0 ] && [ "$bad" -eq 0 ]
