#!/usr/bin/env bash
# Run by hand, not by CI: times the engine against the converter tool alone, the tool under Wine
# against Debian's native ffmpeg, a damaged clip through the engine, and the stop latency, and prints
# a table. The figures are for reading; nothing here passes or fails.
#
# Usage: AMBRETT_BUILD=/path/to/build bash bench/engine-bench.sh
# Environment: TOOL and BENCH (the two programs, defaults under AMBRETT_BUILD), CLIPS (default 3), CLIP_SECONDS (default 180), RUNS (best of, default 2), STOPS (default 3).
# Needs a built tree (scripts/setup.sh): the tool in $AMBRETT_BUILD/tool and tools/enginebench.
set -euo pipefail
source "$(dirname "$0")/../scripts/winenv.sh"

CLIPS=${CLIPS:-3}
CLIP_SECONDS=${CLIP_SECONDS:-180}
RUNS=${RUNS:-2}
STOPS=${STOPS:-3}
TOOL=${TOOL:-$AMBRETT_BUILD/tool/zivevazov.exe}
BENCH=${BENCH:-$AMBRETT_BUILD/tools/enginebench/enginebench.exe}
PRESET=(-acodec libmp3lame -b:a 160k -ac 2 -ar 44100)
for f in "$TOOL" "$BENCH"; do [[ -f $f ]] || { echo "missing $f: run scripts/setup.sh first" >&2; exit 1; }; done

WORK=$(mktemp -d /tmp/ambrett-bench.XXXXXX)
cleanup() { stop_wine_services; rm -rf "$WORK"; }
trap cleanup EXIT
win() { echo "Z:${1//\//\\}"; }
say() { printf '[bench] %s\n' "$*" >&2; }
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

say "making $CLIPS clips of ${CLIP_SECONDS}s and a damaged one"
for i in $(seq 1 "$CLIPS"); do
    ff -f lavfi -i "sine=frequency=$((200 + 110 * i)):sample_rate=48000:duration=$CLIP_SECONDS" \
       -f lavfi -i "anoisesrc=color=pink:sample_rate=48000:amplitude=0.2:seed=$i:duration=$CLIP_SECONDS" \
       -f lavfi -i "testsrc2=size=320x240:rate=25:duration=$CLIP_SECONDS" \
       -filter_complex "[0:a][1:a]amerge=inputs=2[a]" -map "[a]" -map 2:v \
       -c:a aac -b:a 128k -c:v libx264 -preset ultrafast -pix_fmt yuv420p "$WORK/clip$i.mp4"
done
# The middle half of the file overwritten with zeros: the tool pours out decoder warnings.
cp "$WORK/clip1.mp4" "$WORK/damaged.mp4"
size=$(stat -c %s "$WORK/damaged.mp4")
dd if=/dev/zero of="$WORK/damaged.mp4" bs=64K seek=$((size / 4)) count=$((size / 2)) \
   iflag=count_bytes oflag=seek_bytes conv=notrunc status=none
mkdir -p "$WORK/out"

start_wine_services >/dev/null

best() { sort -n | head -1; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

native_run() {
    local t0 t1
    t0=$(date +%s.%N)
    /usr/bin/ffmpeg -nostdin -y -i "$1" "${PRESET[@]}" "$WORK/out/native.mp3" >/dev/null 2>&1
    t1=$(date +%s.%N)
    seconds "$t0" "$t1"
}
bench() { wine "$BENCH" "$@" | tr -d '\r' || true; }
direct_run() { bench direct "$(win "$TOOL")" "$(win "$1")" "$(win "$WORK/out/direct.mp3")" | awk '/^direct/ { print $2 }'; }
engine_run() {
    rm -f "$WORK/out/"*.mp3
    bench engine "$(win "$TOOL")" "$(win "$1")" "$(win "$WORK/out")" | awk '/^engine/ { print $2, $4 }'
}

rows=()
tot_native=0 tot_direct=0 tot_engine=0
for i in $(seq 1 "$CLIPS"); do
    clip=$WORK/clip$i.mp4
    n=() d=() e=()
    for _ in $(seq 1 "$RUNS"); do
        n+=("$(native_run "$clip")")
        d+=("$(direct_run "$clip")")
        read -r et ep < <(engine_run "$clip")
        e+=("$et")
    done
    bn=$(printf '%s\n' "${n[@]}" | best) bd=$(printf '%s\n' "${d[@]}" | best) be=$(printf '%s\n' "${e[@]}" | best)
    say "clip $i: native $bn s, tool $bd s, engine $be s (job ended at $ep%)"
    rows+=("$(printf '%-22s %9.2f %9.2f %9.2f %9.2f %9.2f' "clip$i.mp4 (${CLIP_SECONDS}s)" "$bn" "$bd" "$be" \
        "$(awk -v a="$be" -v b="$bd" 'BEGIN { print (a / b - 1) * 100 }')" \
        "$(awk -v a="$bd" -v b="$bn" 'BEGIN { print a / b }')")")
    tot_native=$(awk -v a="$tot_native" -v b="$bn" 'BEGIN { print a + b }')
    tot_direct=$(awk -v a="$tot_direct" -v b="$bd" 'BEGIN { print a + b }')
    tot_engine=$(awk -v a="$tot_engine" -v b="$be" 'BEGIN { print a + b }')
done

say "damaged clip"
dd_=() dp=() de=()
for _ in $(seq 1 "$RUNS"); do
    dd_+=("$(direct_run "$WORK/damaged.mp4")")
    dp+=("$(bench piped "$(win "$TOOL")" "$(win "$WORK/damaged.mp4")" "$(win "$WORK/out/piped.mp3")" |
            awk '/^piped/ { print $2 }')")
    read -r et ep < <(engine_run "$WORK/damaged.mp4")
    de+=("$et")
done
bdd=$(printf '%s\n' "${dd_[@]}" | best) bdp=$(printf '%s\n' "${dp[@]}" | best) bde=$(printf '%s\n' "${de[@]}" | best)
damaged_percent=$ep

say "fixed costs of the engine's runs"
read -r probe_s cmd_s tool_s chcp_s < <(bench parts "$(win "$TOOL")" "$(win "$WORK/clip1.mp4")" "$(win "$WORK/out")" |
                                        awk '/^parts/ { print $3, $5, $7, $9 }')

say "stop latency"
stops=()
for _ in $(seq 1 "$STOPS"); do
    rm -f "$WORK/out/"*.mp3
    stops+=("$(bench stop "$(win "$TOOL")" "$(win "$WORK/clip1.mp4")" "$(win "$WORK/out")" | awk '/^stop [0-9]/ { print $2 }' || true)")
done

printf '\nBest of %s runs, wall seconds; the tool and the engine both under Wine\n' "$RUNS"
printf '%-22s %9s %9s %9s %9s %9s\n' "clip" "native" "tool" "engine" "engine+%" "tool/nat"
printf '%s\n' "${rows[@]}"
printf '%-22s %9.2f %9.2f %9.2f %9.2f %9.2f\n' "per file, mean" \
    "$(awk -v a="$tot_native" -v n="$CLIPS" 'BEGIN { print a / n }')" \
    "$(awk -v a="$tot_direct" -v n="$CLIPS" 'BEGIN { print a / n }')" \
    "$(awk -v a="$tot_engine" -v n="$CLIPS" 'BEGIN { print a / n }')" \
    "$(awk -v a="$tot_engine" -v b="$tot_direct" 'BEGIN { print (a / b - 1) * 100 }')" \
    "$(awk -v a="$tot_direct" -v b="$tot_native" 'BEGIN { print a / b }')"
printf '%-22s %9s %9.2f %9.2f %9s   engine/tool %.2fx; tool with its output in a pipe %.2f s (engine/that %.2fx); job ended at %s%%\n' \
    "damaged (${CLIP_SECONDS}s)" "-" "$bdd" "$bde" "-" "$(awk -v a="$bde" -v b="$bdd" 'BEGIN { print a / b }')" \
    "$bdp" "$(awk -v a="$bde" -v b="$bdp" 'BEGIN { print a / b }')" "$damaged_percent"
printf 'per run under Wine: a probe run %.3f s, a bare command interpreter %.3f s, a bare tool start %.3f s,\n' \
    "$probe_s" "$cmd_s" "$tool_s"
printf '  a script'"'"'s "chcp" %.3f s; the engine makes 3 runs per file (probe, conversion, probe of the output)\n' "$chcp_s"
printf 'targets: engine+ <= 5%%, tool/native <= 1.3x, damaged engine/tool <= 1.2x, stop < 1 s\n'
printf 'stop latency, requestStop to tool exit (s): %s\n' "${stops[*]}"
