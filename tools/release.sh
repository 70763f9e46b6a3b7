#!/usr/bin/env bash
# Builds the 32-bit release and packs Varnolt-<version>-win32.zip: the
# program (stripped; its debug information stays in the build directory as
# Varnolt.exe.debug), the guide for Windows users as README.txt, and the
# terminal simulator termsim.exe.
#
#   tools/release.sh [OUTPUT_DIR]     (default: the current directory)
#
# VARNOLT_RELEASE_BUILD_DIR names the build directory (default build-release);
# the test run packs from its own Windows build that way. On a machine that
# cannot run 32-bit programs the test run packs the x86_64 build the same way
# (VARNOLT_RELEASE_ARCH=x86_64, a -win64.zip), to test the package as a site
# unpacks it; what is released is always the i686 one.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)

bash tools/setup.sh
build=${VARNOLT_RELEASE_BUILD_DIR:-build-release}
arch=${VARNOLT_RELEASE_ARCH:-i686}
case "$arch" in
  i686) suffix=win32 ;;
  x86_64) suffix=win64 ;;
  *) echo "release: VARNOLT_RELEASE_ARCH is i686 or x86_64" >&2; exit 2 ;;
esac
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$arch.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
targets=(Varnolt)
grep -q 'termsim_win' tools/termsim/CMakeLists.txt && targets+=(termsim_win)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

version=$(sed -n 's/^#define VARNOLT_VERSION_TEXT "\(.*\)"$/\1/p' res/version.h)
stage=$(mktemp -d /tmp/varnolt-release.XXXXXX)
trap 'rm -rf "$stage"' EXIT
cp "$build/Varnolt.exe" "$stage/"
[ -f "$build/tools/termsim/termsim.exe" ] && cp "$build/tools/termsim/termsim.exe" "$stage/"
# Notepad on older Windows wants CR LF.
sed 's/$/\r/' docs/windows-guide.txt >"$stage/README.txt"

zip="$out/Varnolt-$version-$suffix.zip"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip -- *)
echo "release: $zip"
(cd "$stage" && ls -l)
