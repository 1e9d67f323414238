#!/usr/bin/env bash
# Set-up, build, then start Ambrett.exe under Wine with core\zivevazov.exe beside it.
# On the user's display when DISPLAY is set; otherwise on a virtual display, where nobody can use the
# window, so the program is shown for a few seconds, photographed and closed again.
set -euo pipefail
source "$(dirname "$0")/winenv.sh"
bash "$AMBRETT_REPO/scripts/setup.sh"

exe="$AMBRETT_BUILD/app/Ambrett.exe"
for f in "$exe" "$AMBRETT_BUILD/app/quenlowupdate.dll" "$AMBRETT_BUILD/app/core/zivevazov.exe"; do
  if [ ! -f "$f" ]; then
    echo "missing $f: the build did not make the whole program" >&2
    exit 1
  fi
done

# The caption buttons are glyphs of Marlett, which this Wine build does not find in its own font folder.
caption_font() {
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp -n /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
}

trap stop_wine_services EXIT
if [ -n "${DISPLAY:-}" ]; then
  AMBRETT_USE_DISPLAY=1 start_wine_services
  caption_font
  echo "starting $exe on display $DISPLAY"
  wine "$exe"
  exit 0
fi

echo "No display (DISPLAY is not set): starting Ambrett on a virtual display instead."
start_wine_services
caption_font
shot="$AMBRETT_BUILD/run-screenshot.png"
# A Wine desktop window gives the program a title bar even without a window manager.
wine explorer /desktop=Ambrett,1024x700 "$exe" &
sleep "${AMBRETT_SHOW_SECONDS:-8}"
import -window root "$shot"
echo "Ambrett ran on the virtual display $DISPLAY; a screenshot of it is in $shot"
echo "(Set DISPLAY to use the program itself.) Closing it now."
