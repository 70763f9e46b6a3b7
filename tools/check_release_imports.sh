#!/usr/bin/env bash
# Checks what the release program takes from libraries at start:
#
#   tools/check_release_imports.sh BUILD_DIR/win32
#
# Only the libraries every session needs are imported. The common controls,
# Save-As, the folder browser and telephony are taken when first called
# (link/late_binding.cpp), so a command-line session never loads them; and no
# toolchain delay-load thunk is linked: the i686 linker left such thunks out
# when the code referred only to a function's import pointer, and the call
# jumped to address 0 (the crash of the settings dialog).
set -euo pipefail
dir=${1:?usage: $0 WIN32_BUILD_DIR}
exe=$dir/Varnolt.exe
debug=$dir/Varnolt.exe.debug
expected="advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll user32.dll"

imported=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
status=0
if [ "${imported% }" != "$expected" ]; then
  echo "the release imports: ${imported% }"
  echo "expected only:       $expected"
  status=1
fi
if i686-w64-mingw32-nm "$debug" | grep -q 'delayLoadHelper'; then
  echo "the release links a toolchain delay-load helper: late-bound functions belong in link/late_binding.h"
  status=1
fi
[ $status -eq 0 ] && echo "release imports: $expected"
exit $status
