#!/usr/bin/env bash
# Builds the converter tool core\zivevazov.exe: a trimmed, LGPL, statically
# linked Windows x86_64 ffmpeg with libmp3lame, cross-built from Debian's own
# source packages `ffmpeg` and `lame`.
#
# Usage: scripts/build-tool.sh DEST_DIR
#   Writes DEST_DIR/zivevazov.exe and DEST_DIR/licenses/.
#
# Needs these apt packages: mingw-w64 g++-mingw-w64-x86-64-posix
#   libz-mingw-w64-dev nasm make pkg-config dpkg-dev xz-utils
#   debian-archive-keyring (apt itself, coreutils and util-linux are assumed).
#
# The result is cached outside the clone in
#   ${AMBRETT_CACHE:-$HOME/.cache/ambrett}/tool-<key>/
# where <key> hashes the source versions, the toolchain, every build flag and
# this script, so a rerun with nothing changed only copies files. The package
# index used to pick the source versions lives in the cache too; the system's
# apt configuration is never touched.
set -euo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 DEST_DIR" >&2
    exit 2
fi
DEST_DIR=$(realpath -m "$1")
SCRIPT_PATH=$(readlink -f "${BASH_SOURCE[0]}")
CACHE_ROOT=${AMBRETT_CACHE:-$HOME/.cache/ambrett}
HOST=x86_64-w64-mingw32
JOBS=2

say() { printf '[build-tool] %s\n' "$*" >&2; }
die() { say "ERROR: $*"; exit 1; }

# Cover art in an MP4 is an attached picture; ffmpeg maps it into the MP3 as an
# ID3 picture re-encoded to PNG, so the image decoders, the PNG encoder, zlib
# and the scale filter are needed or such files would fail outright.
FFMPEG_DECODERS=(
    aac aac_fixed aac_latm
    mp1 mp1float mp2 mp2float mp3 mp3float
    ac3 ac3_fixed eac3 alac flac opus vorbis amrnb amrwb adpcm_ima_qt
    pcm_s8 pcm_u8 pcm_s16le pcm_s16be pcm_s24le pcm_s24be pcm_s32le pcm_s32be
    pcm_f32le pcm_f32be pcm_f64le pcm_f64be pcm_alaw pcm_mulaw
    mjpeg png bmp
)
FFMPEG_PARSERS=(aac aac_latm ac3 amr flac mpegaudio opus vorbis)

join() { local IFS=,; echo "$*"; }

# LAME's configure does not recognise the cross compiler's version string and
# then adds no optimisation at all, which made the tool over three times
# slower; these are the flags its configure would pick for a native GCC.
# x86_64 always has SSE, so LAME's intrinsics path (xmm_quantize_sub.c) is on;
# its nasm routines exist for 32-bit x86 only.
LAME_CFLAGS="-O3 -ffast-math -fomit-frame-pointer -funroll-loops -pipe"
LAME_CONFIGURE_FLAGS=(
    --host=$HOST --disable-shared --enable-static
    --disable-frontend --disable-decoder --disable-dependency-tracking
)

FFMPEG_CONFIGURE_FLAGS=(
    --target-os=mingw32 --arch=x86_64 --cross-prefix=$HOST-
    --pkg-config=pkg-config --pkg-config-flags=--static
    --disable-shared --enable-static --disable-debug --disable-doc
    --disable-ffplay --disable-ffprobe --disable-network
    --disable-autodetect --disable-everything
    --enable-x86asm --enable-w32threads --enable-zlib --enable-libmp3lame
    --enable-swresample --enable-swscale
    --enable-decoder="$(join "${FFMPEG_DECODERS[@]}")"
    --enable-encoder=libmp3lame,png
    --enable-parser="$(join "${FFMPEG_PARSERS[@]}")"
    --enable-demuxer=mov,mp3,aac,wav
    --enable-muxer=mp3
    --enable-protocol=file,pipe
    --enable-filter=aresample,aformat,anull,format,null,scale
)

for tool in apt-get dpkg-source dpkg-query flock make nasm pkg-config \
    $HOST-gcc $HOST-objdump sha256sum; do
    command -v "$tool" >/dev/null || die "'$tool' is missing (see the package list at the top of $0)"
done

mkdir -p "$CACHE_ROOT"
CACHE_ROOT=$(readlink -f "$CACHE_ROOT")

# One build at a time per cache: apt's index and the cache entries are shared.
exec 9>"$CACHE_ROOT/build-tool.lock"
if ! flock -n 9; then
    say "another build-tool run holds $CACHE_ROOT/build-tool.lock; waiting"
    flock 9
fi

# --- Which source versions would Debian give us? ---------------------------
APT_DIR=$CACHE_ROOT/apt-src
mkdir -p "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial"
APT_OPTS=(
    -o Dir::Etc::SourceList=/dev/null
    -o Dir::Etc::SourceParts="$APT_DIR"
    -o Dir::State::Lists="$APT_DIR/lists"
    -o Dir::Cache="$APT_DIR/cache"
    -o APT::Sandbox::User="$(id -un)"
)

# The same mirrors and keys as the system's binary sources, as deb-src.
write_source_list() {
    local deb822=/etc/apt/sources.list.d/debian.sources
    if [[ -r $deb822 ]]; then
        sed -E 's/^Types:.*/Types: deb-src/' "$deb822" >"$APT_DIR/src.sources.new"
        mv "$APT_DIR/src.sources.new" "$APT_DIR/src.sources"
    elif [[ -r /etc/apt/sources.list ]]; then
        sed -nE 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' /etc/apt/sources.list \
            >"$APT_DIR/src.list.new"
        mv "$APT_DIR/src.list.new" "$APT_DIR/src.list"
    else
        die "no Debian sources found in /etc/apt to derive deb-src entries from"
    fi
}

say "updating the private deb-src index in $APT_DIR"
write_source_list
# apt-get update reports an unreachable mirror only as a warning and keeps
# the index it had, which lets an offline rerun still find its cache entry.
if ! apt-get "${APT_OPTS[@]}" -qq update >"$APT_DIR/update.log" 2>&1 ||
    grep -qE '^(W|E):' "$APT_DIR/update.log"; then
    grep -E '^(W|E):' "$APT_DIR/update.log" | head -n 5 >&2 || true
    say "apt-get update had trouble (offline?); going on with the index there is"
fi

source_version() {
    local uris
    uris=$(apt-get "${APT_OPTS[@]}" source --print-uris "$1" 2>/dev/null) ||
        die "no source package '$1' in the deb-src index (see $APT_DIR/update.log)"
    sed -nE "s/^'[^']*' $1_([^ ]+)\.dsc .*/\1/p" <<<"$uris" | head -n1
}
FFMPEG_VERSION=$(source_version ffmpeg)
LAME_VERSION=$(source_version lame)
[[ -n $FFMPEG_VERSION && -n $LAME_VERSION ]] || die "could not tell the source versions"
ZLIB_VERSION=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev 2>/dev/null) ||
    die "libz-mingw-w64-dev is not installed"
CC_VERSION=$($HOST-gcc --version | head -n1) || die "$HOST-gcc not found (mingw-w64)"
NASM_VERSION=$(nasm -v) || die "nasm not found"
say "sources: ffmpeg $FFMPEG_VERSION, lame $LAME_VERSION; zlib $ZLIB_VERSION"

KEY=$(
    {
        echo "ffmpeg=$FFMPEG_VERSION lame=$LAME_VERSION zlib=$ZLIB_VERSION"
        echo "cc=$CC_VERSION nasm=$NASM_VERSION"
        echo "lame-cflags=$LAME_CFLAGS"
        printf '%s\n' "${LAME_CONFIGURE_FLAGS[@]}" "${FFMPEG_CONFIGURE_FLAGS[@]}"
        sha256sum <"$SCRIPT_PATH"
    } | sha256sum | cut -c1-16
)
ENTRY=$CACHE_ROOT/tool-$KEY

install_to_dest() {
    mkdir -p "$DEST_DIR"
    cp -f "$ENTRY/zivevazov.exe" "$DEST_DIR/zivevazov.exe"
    rm -rf "$DEST_DIR/licenses"
    cp -R "$ENTRY/licenses" "$DEST_DIR/licenses"
    say "installed $DEST_DIR/zivevazov.exe ($(stat -c %s "$DEST_DIR/zivevazov.exe") bytes) and licenses/"
}

if [[ -f $ENTRY/zivevazov.exe ]]; then
    say "cache hit: $ENTRY"
    install_to_dest
    exit 0
fi

# --- Build -----------------------------------------------------------------
# Builds that failed earlier are left for inspection; drop them now.
for stale in "$CACHE_ROOT"/build.*; do
    if [[ -d $stale ]]; then
        say "removing an old build folder $stale"
        rm -rf "$stale"
    fi
done
BUILD=$(mktemp -d "$CACHE_ROOT/build.XXXXXX")
CURRENT_LOG=
on_exit() {
    local rc=$?
    if [[ $rc -ne 0 ]]; then
        if [[ -n $CURRENT_LOG && -f $CURRENT_LOG ]]; then
            say "last lines of $CURRENT_LOG:"
            tail -n 40 "$CURRENT_LOG" >&2
        fi
        say "build failed; its folder is kept: $BUILD"
    fi
}
trap on_exit EXIT

# Runs a build step quietly; its output goes to a log shown on failure.
step() {
    local name=$1; shift
    CURRENT_LOG=$BUILD/logs/$name.log
    say "$name ..."
    "$@" >"$CURRENT_LOG" 2>&1
    CURRENT_LOG=
}
mkdir -p "$BUILD/logs" "$BUILD/src"
START=$SECONDS
say "building in $BUILD (key $KEY)"

cd "$BUILD/src"
# Unpinned: under the lock the index is the one the versions came from (and
# pinning would need the epoch, which the .dsc names leave out).
step download apt-get "${APT_OPTS[@]}" source --download-only ffmpeg lame
for dsc in "ffmpeg_$FFMPEG_VERSION.dsc" "lame_$LAME_VERSION.dsc"; do
    [[ -f $dsc ]] || die "apt-get source did not fetch $dsc"
done
# dpkg-source applies Debian's patches (their security fixes are the point of
# taking Debian's sources); apt has already checked the files against the
# signed index, so the unverifiable maintainer signature warning is harmless.
step unpack-lame dpkg-source -x "lame_$LAME_VERSION.dsc" lame
step unpack-ffmpeg dpkg-source -x "ffmpeg_$FFMPEG_VERSION.dsc" ffmpeg

PREFIX=$BUILD/prefix
cd "$BUILD/src/lame"
step configure-lame ./configure "${LAME_CONFIGURE_FLAGS[@]}" --prefix="$PREFIX" \
    CC=$HOST-gcc CFLAGS="$LAME_CFLAGS"
step make-lame make -j$JOBS
step install-lame make install

cd "$BUILD/src/ffmpeg"
# Only our own prefix may feed pkg-config: the build machine's .pc files
# describe Linux libraries.
export PKG_CONFIG_LIBDIR=$PREFIX/lib/pkgconfig PKG_CONFIG_PATH=
# configure records its arguments in the binary (its banner prints them), so
# LAME's prefix is given relative to the source tree, where make runs, rather
# than as the random absolute build path.
step configure-ffmpeg ./configure "${FFMPEG_CONFIGURE_FLAGS[@]}" \
    --extra-cflags=-I../../prefix/include --extra-ldflags="-L../../prefix/lib -static"
step make-ffmpeg make -j$JOBS ffmpeg.exe

# No runtime DLL may be needed beside the tool: only Windows' own.
imports=$($HOST-objdump -p ffmpeg.exe | sed -nE 's/^\s*DLL Name: (.*)/\1/p' | tr 'A-Z' 'a-z' | sort -u)
for dll in $imports; do
    case $dll in
    kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|shell32.dll|ole32.dll|psapi.dll|bcrypt.dll|api-ms-win-*) ;;
    *) die "ffmpeg.exe imports $dll, which Windows does not ship" ;;
    esac
done

OUT=$BUILD/out
mkdir -p "$OUT/licenses"
cp ffmpeg.exe "$OUT/zivevazov.exe"
cp COPYING.LGPLv2.1 LICENSE.md "$OUT/licenses/"
cp "$BUILD/src/lame/COPYING" "$OUT/licenses/COPYING.lame"
cp /usr/share/doc/libz-mingw-w64-dev/copyright "$OUT/licenses/COPYRIGHT.zlib"
{
    echo "zivevazov.exe is FFmpeg $(cat VERSION 2>/dev/null || echo "${FFMPEG_VERSION%%-*}") with LAME, built for Windows x86_64."
    echo "It is licensed under the GNU LGPL version 2.1 or later (COPYING.LGPLv2.1, LICENSE.md);"
    echo "LAME is under the GNU LGPL too (COPYING.lame); zlib under the zlib licence (COPYRIGHT.zlib)."
    echo
    echo "Built from the Debian source packages:"
    echo "  ffmpeg $FFMPEG_VERSION"
    echo "  lame $LAME_VERSION"
    echo "and Debian's binary package libz-mingw-w64-dev $ZLIB_VERSION."
    echo "The complete corresponding sources are these packages in Debian's archive,"
    echo "whose snapshot service keeps every version."
    echo
    echo "Compiler: $CC_VERSION"
    echo
    echo "LAME configure flags: ${LAME_CONFIGURE_FLAGS[*]} CFLAGS=\"$LAME_CFLAGS\""
    echo
    echo "FFmpeg configure flags:"
    printf '  %s\n' "${FFMPEG_CONFIGURE_FLAGS[@]}"
    echo "  plus --extra-cflags/--extra-ldflags naming the LAME build above, and -static"
} >"$OUT/licenses/README.txt"

mv "$BUILD/logs" "$OUT/build-logs"
CURRENT_LOG=

# Publish the entry in one rename so a half-written entry is never seen.
rm -rf "$ENTRY"
mv "$OUT" "$ENTRY"
cd "$CACHE_ROOT"
rm -rf "$BUILD"
trap - EXIT
say "built in $((SECONDS - START)) s: $ENTRY"
install_to_dest
