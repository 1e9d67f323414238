#!/usr/bin/env bash
# Set-up, build, then every test under Wine on a virtual display.
set -euo pipefail
source "$(dirname "$0")/winenv.sh"
bash "$AMBRETT_REPO/scripts/setup.sh"

trap stop_wine_services EXIT
start_wine_services
cd "$AMBRETT_BUILD"
ctest --output-on-failure "$@"
