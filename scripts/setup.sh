#!/usr/bin/env bash
# Everything a fresh machine of this kind needs, safe to run again: packages through apt, the converter
# tool (built from Debian's sources, cached outside the clone), and the configured build tree.
set -euo pipefail
source "$(dirname "$0")/winenv.sh"

PACKAGES=(
  cmake ninja-build make pkg-config
  mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  googletest
  wine wine64 fonts-wine xvfb xdotool x11-utils imagemagick
  ffmpeg
  nasm dpkg-dev xz-utils libz-mingw-w64-dev
  zip unzip
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The converter tool, beside the build as core\zivevazov.exe.
if [ -f "$AMBRETT_REPO/scripts/build-tool.sh" ]; then
  bash "$AMBRETT_REPO/scripts/build-tool.sh" "$AMBRETT_BUILD/tool"
fi

cmake -S "$AMBRETT_REPO" -B "$AMBRETT_BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$AMBRETT_REPO/cmake/mingw-w64.cmake" \
  -DAMBRETT_TOOL_DIR="$AMBRETT_BUILD/tool" >/dev/null
cmake --build "$AMBRETT_BUILD" -j2
