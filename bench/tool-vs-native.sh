#!/usr/bin/env bash
# Times the Windows converter tool under Wine against Debian's native ffmpeg
# on the same MP4 to MP3 conversion the program runs, and prints both times
# and their ratio. The figures are for reading, not for passing or failing.
#
# Usage: bench/tool-vs-native.sh [TOOL_EXE]
#   TOOL_EXE defaults to a fresh scripts/build-tool.sh result (cached, so fast).
# Environment: CLIP_SECONDS (default 180), RUNS (default 3),
#   WINEPREFIX (default ${AMBRETT_CACHE:-$HOME/.cache/ambrett}/wineprefix).
# Needs: ffmpeg (Debian's, with libx264), wine, and what build-tool.sh needs.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
CLIP_SECONDS=${CLIP_SECONDS:-180}
RUNS=${RUNS:-3}
export WINEPREFIX=${WINEPREFIX:-${AMBRETT_CACHE:-$HOME/.cache/ambrett}/wineprefix}
export WINEDEBUG=-all
# The arguments the program passes for its MP3 preset.
PRESET=(-acodec libmp3lame -b:a 160k -ac 2 -ar 44100)

say() { printf '[bench] %s\n' "$*" >&2; }

WORK=$(mktemp -d)
WINESERVER_STARTED=
cleanup() {
    [[ -n $WINESERVER_STARTED ]] && wineserver -k 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

if [[ $# -ge 1 ]]; then
    TOOL=$(readlink -f "$1")
else
    "$HERE/../scripts/build-tool.sh" "$WORK/tool"
    TOOL=$WORK/tool/zivevazov.exe
fi
[[ -f $TOOL ]] || { say "no tool at $TOOL"; exit 1; }

cd "$WORK"
say "making a ${CLIP_SECONDS}s test clip (AAC stereo 48 kHz + small H.264 video)"
ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$CLIP_SECONDS" \
    -f lavfi -i "anoisesrc=color=pink:sample_rate=48000:amplitude=0.2:duration=$CLIP_SECONDS" \
    -f lavfi -i "testsrc2=size=320x240:rate=25:duration=$CLIP_SECONDS" \
    -filter_complex "[0:a][1:a]amerge=inputs=2[a]" -map "[a]" -map 2:v \
    -c:a aac -b:a 128k -c:v libx264 -preset ultrafast -pix_fmt yuv420p in.mp4

if [[ ! -d $WINEPREFIX ]]; then
    say "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1
fi
# A persistent server spares every run Wine's start-up.
wineserver -p &
WINESERVER_STARTED=1

# Prints the wall time of one run in seconds; fails if no output appeared.
time_run() {
    local out=$1; shift
    rm -f "$out"
    local t0 t1
    t0=$(date +%s.%N)
    "$@" -y -i in.mp4 "${PRESET[@]}" "$out" </dev/null >"$out.log" 2>&1
    t1=$(date +%s.%N)
    [[ -s $out ]] || { say "no output from: $*"; tail -n 5 "$out.log" >&2; return 1; }
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}

declare -A TIMES BEST
for who in native tool; do
    TIMES[$who]=
    BEST[$who]=
    for ((i = 1; i <= RUNS; i++)); do
        if [[ $who == native ]]; then
            t=$(time_run native.mp3 /usr/bin/ffmpeg)
        else
            t=$(time_run tool.mp3 wine "$TOOL")
        fi
        say "$who run $i: $(printf '%.2f' "$t") s"
        TIMES[$who]+=$(printf ' %6.2f' "$t")
        BEST[$who]=$(awk -v t="$t" -v b="${BEST[$who]}" 'BEGIN { print (b == "" || t < b) ? t : b }')
    done
done

printf '\nMP4 (%ss AAC + video) to MP3 160k, best of %s wall times\n' "$CLIP_SECONDS" "$RUNS"
printf '%-28s %10s   %s\n' "converter" "best (s)" "all runs (s)"
printf '%-28s %10.2f  %s\n' "native /usr/bin/ffmpeg" "${BEST[native]}" "${TIMES[native]}"
printf '%-28s %10.2f  %s\n' "zivevazov.exe under Wine" "${BEST[tool]}" "${TIMES[tool]}"
printf '%-28s %10.2f\n' "ratio tool / native" \
    "$(awk -v a="${BEST[tool]}" -v b="${BEST[native]}" 'BEGIN { print a / b }')"
