#!/usr/bin/env bash
# Pictures of the real program for the README: docs/main-window.png (files listed) and
# docs/progress-window.png (a run under way). The program runs in a Wine virtual desktop on the virtual
# display, so its windows have frames; ui_shot_driver.exe poses it and waits at each state for the picture.
# A Wine prefix of its own keeps the remembered output folder of the usual prefix untouched.
set -euo pipefail
export WINEPREFIX=${SHOTS_WINEPREFIX:-${AMBRETT_BUILD:-$(cd "$(dirname "$0")/.." && pwd)/build}/wine-shots}
source "$(dirname "$0")/winenv.sh"
bash "$AMBRETT_REPO/scripts/setup.sh"
# Wine's own fonts: without them the caption buttons lose their Marlett glyphs in the pictures.
if ! dpkg-query -W -f='${Status}' fonts-wine 2>/dev/null | grep -q "install ok installed"; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends fonts-wine
fi

exe=$AMBRETT_BUILD/app/Ambrett.exe
driver=$AMBRETT_BUILD/tests/ui/ui_shot_driver.exe
for f in "$exe" "$driver"; do [ -f "$f" ] || { echo "missing $f"; exit 1; }; done

start_wine_services
# The caption buttons are glyphs of Marlett, which this Wine build does not find in its own font folder;
# the prefix's Fonts folder it reads. Only Marlett: Wine's Tahoma is a little wider than the one the
# dialog units were laid out for, and would wrap "Output Folder:".
cp -n /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

# The user's usual folders of the prefix, so that the pictures show plain Windows paths.
public=$WINEPREFIX/drive_c/users/Public
videos=$public/Videos music=$public/Music signals=$(mktemp -d /tmp/ambrett-shots.XXXXXX)
cleanup() {
    stop_wine_services
    rm -rf "$signals"
    rm -f "$videos"/*.mp4 "$music"/*.mp3
}
trap cleanup EXIT
mkdir -p "$videos" "$music"

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
audio() { ff -f lavfi -i "sine=frequency=$2:sample_rate=44100:duration=$3" -c:a aac -b:a 64k "$videos/$1"; }
audio "Concert 2019.mp4" 440 5
audio "Interview with the band.mp4" 330 1800   # long enough to be caught in the middle
audio "Rehearsal.mp4" 550 5

win() { winepath -w "$1" 2>/dev/null; }
wine reg add 'HKCU\Software\Quenlow Rizav Ozirurave\mp3' /v out_dir /t REG_SZ /d "$(win "$music")" /f >/dev/null 2>&1

wine explorer /desktop=ambrett-shots,800x500 "$driver" "$(win "$exe")" "$(win "$videos")" "$(win "$signals")" &
driver_pid=$!

# Waits for the driver to pose a window, then saves that window's part of the desktop.
shoot() {
    local name=$1 out=$2 i
    for i in $(seq 1 600); do [ -f "$signals/$name.rect" ] && break; sleep 0.1; done
    if [ ! -f "$signals/$name.rect" ]; then
        echo "the program never reached: $name"
        cat "$signals/driver.log" 2>/dev/null || true
        return 1
    fi
    sleep 0.5
    read -r x y w h < "$signals/$name.rect"
    local desktop
    desktop=$(xwininfo -root -tree | awk '/Wine desktop/ {print $1; exit}')
    import -window "$desktop" -crop "${w}x${h}+${x}+${y}" +repage "$out"
    touch "$signals/$name.done"
    echo "saved $out"
}
shoot main "$AMBRETT_REPO/docs/main-window.png"
shoot progress "$AMBRETT_REPO/docs/progress-window.png"
wait "$driver_pid"
