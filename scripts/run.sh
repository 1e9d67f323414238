#!/usr/bin/env bash
# Set-up, build, then start the program under Wine.
set -euo pipefail
source "$(dirname "$0")/winenv.sh"
bash "$AMBRETT_REPO/scripts/setup.sh"
exe="$AMBRETT_BUILD/app/Ambrett.exe"
if [ ! -f "$exe" ]; then
  echo "Built the engine and its tests; the program's window is not part of the build yet."
  exit 0
fi
AMBRETT_USE_DISPLAY=1
trap stop_wine_services EXIT
start_wine_services
wine "$exe"
