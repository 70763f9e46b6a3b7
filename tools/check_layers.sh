#!/usr/bin/env bash
# Holds the product's folders to their order: each includes only from its
# own folder and the folders below it, and no files include each other in a
# circle (a file's .h and .cpp count as one unit).
#
#   app → session → link → core → errors → res
#
#   tools/check_layers.sh [SOURCE_DIR]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
folders=(res errors core link session app)   # bottom first

rank() {
  local i
  for i in "${!folders[@]}"; do [ "${folders[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}

status=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
for folder in "${folders[@]}"; do
  own=$(rank "$folder")
  for file in "$folder"/*.h "$folder"/*.cpp; do
    [ -e "$file" ] || continue
    unit=${file%.*}
    while IFS= read -r included; do
      target=${included%%/*}
      there=$(rank "$target")
      [ "$there" -ge 0 ] || continue
      if [ "$target" != "$folder" ] && [ "$there" -ge "$own" ]; then
        echo "$file includes $included: $folder/ may include only from the folders below it"
        status=1
      fi
      [ "${included%.*}" = "$unit" ] || echo "$unit ${included%.*}" >> "$edges"
    done < <(sed -n 's/^#include "\([a-z_]*\/[a-z_]*\.h\)".*/\1/p' "$file")
  done
done

# tsort names every circle it meets on stderr.
if ! tsort "$edges" > /dev/null 2> "$edges.loops"; then
  echo "files that include each other in a circle:"
  grep -v 'input contains a loop' "$edges.loops" | sed 's/^tsort: /  /'
  status=1
fi
rm -f "$edges.loops"
[ $status -eq 0 ] && echo "includes run one way: ${folders[*]} (from the bottom), no circle"
exit $status
