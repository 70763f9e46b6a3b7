#!/usr/bin/env bash
# Holds docs/HACKING.md to the tree: every file or folder it names in
# backticks exists, and every name of code it gives (a function, record,
# table, constant or field) is still defined or used somewhere in the
# sources. A guide that names what is gone sends the next engineer looking
# for it.
#
#   tools/check_guide.sh [SOURCE_DIR]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
guide=$root/docs/HACKING.md
cd "$root"

sources=$(git ls-files 2>/dev/null | grep -E '\.(cpp|h|cmake|sh|rc|txt)$' || true)
[ -n "$sources" ] || sources=$(find app core session link errors res tests tools cmake CMakeLists.txt -type f \
  \( -name '*.cpp' -o -name '*.h' -o -name '*.cmake' -o -name '*.sh' -o -name '*.rc' -o -name '*.txt' \))

found=$(mktemp)
trap 'rm -f "$found"' EXIT
status=0
missing() { echo "docs/HACKING.md names $1, which $2"; status=1; }

# Backticked spans, one per line; a span with a blank, a backslash or a
# placeholder (<kind>, {h,cpp}, ...) is prose or a pattern, not a name.
grep -o '`[^`]*`' "$guide" | tr -d '`' | sort -u | while IFS= read -r span; do
  case $span in
    *' '* | *'\'* | *'<'* | *'{'* | *'*'* | *'='* | -* | '') continue ;;
  esac
  name=${span%()}                  # Function() is the function
  name=${name%%(*}
  case $name in .*) continue ;; esac   # an extension alone
  if [[ $name == *... ]]; then
    # A family of names by its beginning (PLATFORM_...).
    grep -q -- "${name%...}" $sources || echo "MISSING $span:begins no name in the sources"
  elif [[ $name == */* ]]; then
    [ -e "$name" ] || echo "MISSING $span:is no file or folder of the tree"
  elif [[ $name =~ ^[A-Za-z_][A-Za-z0-9_.]*$ ]]; then
    # A name of code, a record's field (record.field), a file name or a
    # test's name: it is written somewhere in the sources.
    grep -qwF -- "$name" $sources || echo "MISSING $span:appears in no source file"
  fi
done > "$found" || true

while IFS=: read -r what why; do
  missing "\`${what#MISSING }\`" "$why"
done < "$found"
[ $status -eq 0 ] && echo "docs/HACKING.md: every file and name it gives exists"
exit $status
