#!/usr/bin/env bash
# End-to-end run of the real program under Wine: makes the input videos with Debian's native ffmpeg,
# lets e2e_driver.exe use the program through its windows, then examines the MP3s with ffprobe.
# Needs the display and the Wine prefix that scripts/test.sh provides.
# Usage: run-e2e.sh DRIVER_EXE AMBRETT_EXE WORK_DIR
set -euo pipefail
driver=$1 exe=$2 work=$3

[ -f "$(dirname "$exe")/core/zivevazov.exe" ] || { echo "no core/zivevazov.exe beside $exe"; exit 1; }
rm -rf "$work"
mkdir -p "$work/in" "$work/out" "$work/stop-in" "$work/stop-out"

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
# A phone-like video: stereo AAC with a small H.264 picture.
video() {
  ff -f lavfi -i "sine=frequency=$2:sample_rate=48000:duration=$3" \
     -f lavfi -i "testsrc2=size=160x120:rate=10:duration=$3" \
     -map 0:a -map 1:v -c:a aac -b:a 96k -ac 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p "$1"
}
video "$work/in/a.mp4" 440 3
video "$work/in/b.mp4" 550 4
video "$work/in/c.mp4" 660 5
printf 'an older b.mp3\n' > "$work/out/b.mp3"
cp "$work/in/a.mp4" "$work/stop-in/1-short.mp4"
cp "$work/in/c.mp4" "$work/stop-in/3-short.mp4"
# Long enough for the stop to land while the tool is still at work on it.
ff -f lavfi -i "sine=frequency=330:sample_rate=44100:duration=600" -c:a aac -b:a 48k -ac 1 "$work/stop-in/2-long.mp4"

win() { winepath -w "$1" 2>/dev/null; }
failed=0

# Xvfb has no window manager, and Wine then waits 2 s for one whenever a managed window hides (each
# dialog and message box that closes). Unmanaged windows behave as on a desktop; the prefix gets its
# setting back afterwards.
x11_key='HKCU\Software\Wine\X11 Driver'
if ! wine reg query "$x11_key" /v Managed >/dev/null 2>&1; then
  wine reg add "$x11_key" /v Managed /d N /f >/dev/null 2>&1
  trap 'wine reg delete "$x11_key" /v Managed /f >/dev/null 2>&1 || true' EXIT
fi

echo "== converting three files, one output already there"
wine "$driver" convert "$(win "$exe")" "$(win "$work/in")" "$(win "$work/out")" || failed=1

# Each MP3: what the preset asks for, and as long as its video.
for name in a:3 b:4 c:5; do
  mp3=$work/out/${name%%:*}.mp3 seconds=${name##*:}
  info=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels \
           -show_entries format=duration -of default=noprint_wrappers=1 "$mp3" 2>&1 || true)
  duration=$(sed -n 's/^duration=//p' <<<"$info")
  if grep -q '^codec_name=mp3$' <<<"$info" && grep -q '^sample_rate=44100$' <<<"$info" &&
     grep -q '^channels=2$' <<<"$info" &&
     awk -v d="${duration:-0}" -v s="$seconds" 'BEGIN { exit !(d > s - 0.3 && d < s + 0.3) }'; then
    echo "ok   $(basename "$mp3"): MP3, 44100 Hz, 2 channels, ${duration} s"
  else
    echo "FAIL $(basename "$mp3") is not the expected ${seconds} s stereo MP3:"; echo "$info"; failed=1
  fi
done

echo "== stopping during the second file"
wine "$driver" stop "$(win "$exe")" "$(win "$work/stop-in")" "$(win "$work/stop-out")" || failed=1
leftovers=$(cd "$work/stop-out" && ls)
if [ "$leftovers" = "1-short.mp3" ]; then
  echo "ok   only 1-short.mp3 is in the output folder"
else
  echo "FAIL the output folder holds: $leftovers"; failed=1
fi

exit $failed
