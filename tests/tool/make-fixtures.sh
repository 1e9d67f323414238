#!/usr/bin/env bash
# Makes the media the converter-tool tests read, with Debian's native ffmpeg, into the folder given.
# Everything is generated, so no media file lives in the repository.
set -euo pipefail
out=${1:?usage: make-fixtures.sh FOLDER}
mkdir -p "$out"
cd "$out"
if [ -d readonly ]; then chattr -i readonly 2>/dev/null || true; chmod 755 readonly; fi
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# Five seconds of stereo AAC at 48 kHz with a small H.264 picture, as a phone video would carry.
ff -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=5" \
   -f lavfi -i "testsrc2=size=160x120:rate=10:duration=5" \
   -map 0:a -map 1:v -c:a aac -b:a 96k -ac 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p clip.mp4

# Picture only.
ff -f lavfi -i "testsrc2=size=160x120:rate=10:duration=2" -c:v libx264 -preset ultrafast -pix_fmt yuv420p noaudio.mp4

: > zero.mp4
printf 'This is a text file that only carries the name of a video.\n' > notmedia.mp4

# A download cut off at 60%: the index of an ordinary MP4 sits at its end and is lost.
head -c $(( $(stat -c %s clip.mp4) * 6 / 10 )) clip.mp4 > truncated.mp4

# Long enough that a conversion is still running when a test stops it.
ff -f lavfi -i "sine=frequency=330:sample_rate=44100:duration=300" -c:a aac -b:a 48k -ac 1 long.mp4

# Thirty seconds whose middle half of the file is overwritten with zeros: the tool skips what it cannot
# decode, reports the full time and writes an output about half as long.
ff -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=30" \
   -f lavfi -i "testsrc2=size=160x120:rate=10:duration=30" \
   -map 0:a -map 1:v -c:a aac -b:a 128k -ac 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p damaged.mp4
size=$(stat -c %s damaged.mp4)
dd if=/dev/zero of=damaged.mp4 bs=64K seek=$((size / 4)) count=$((size / 2)) \
   iflag=count_bytes oflag=seek_bytes conv=notrunc status=none

# Sound that ends after 3 s of an 8 s picture: a sound file, not a damaged one.
ff -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=3" \
   -f lavfi -i "testsrc2=size=160x120:rate=10:duration=8" \
   -map 0:a -map 1:v -c:a aac -b:a 96k -c:v libx264 -preset ultrafast -pix_fmt yuv420p audioends.mp4

# An output folder nobody can write into: Wine maps the read-only attribute to permission bits, which
# root ignores, so as root the folder is made immutable. The clean-up step makes it writable again.
mkdir -p readonly
if [ "$(id -u)" = 0 ]; then chattr +i readonly; else chmod 555 readonly; fi
