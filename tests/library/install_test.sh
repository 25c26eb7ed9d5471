#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds and runs tiny clients
# against it: with find_package (C++ on the shared library, C on the static
# one), with pkg-config (C on the shared library), and the Python module.
set -euo pipefail
build=$1
python=${2:-python3}
source_dir=$(cd "$(dirname "$0")" && pwd)/consumer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libframeprobe.so.2' | head -n 1)")
export LD_LIBRARY_PATH=$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}

cmake -S "$source_dir" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer_cpp"
"$work/consumer/consumer_c_static"
if ldd "$work/consumer/consumer_c_static" | grep -q libframeprobe; then
    echo "the static client loads the shared library" >&2
    exit 1
fi

# A static client reads a container: FFmpeg's module comes from the prefix, through the
# run path the CMake package gave it, with no variable set.
if command -v ffmpeg >/dev/null; then
    ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 3 -c:v mpeg4 "$work/clip.mp4"
    (cd "$work" && env -u FRAMEPROBE_MODULE_DIR -u LD_LIBRARY_PATH "$work/consumer/file_static" clip.mp4)
fi

export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -std=c11 -Wall -Werror "$source_dir/consumer.c" $(pkg-config --cflags --libs frameprobe) -o "$work/consumer_c"
"$work/consumer_c"
test "$(pkg-config --modversion frameprobe)" = "$(sed -n 's/.*FRAMEPROBE_VERSION_STRING "\(.*\)"/\1/p' "$prefix/include/frameprobe/version.h")"
readelf -d "$libdir/libframeprobe.so" | grep -q 'SONAME.*libframeprobe.so.2'

# The Python module from the prefix (when built), on a clip that needs no size.
module=$(find "$prefix" -name '_frameprobe*.so' | head -n 1)
[ -n "$module" ] || exit 0
site=$(dirname "$(dirname "$module")")
"$prefix/bin/frameprobe-sample" "$work/clip.y4m" 64 48 5
(cd "$work" && env -u PYTHONPATH PYTHONPATH="$site" "$python" -c "
import frameprobe, sys
assert frameprobe.__file__.startswith('$site'), frameprobe.__file__
result = frameprobe.analyze('clip.y4m')
assert list(result.frames['frame']) == [0, 1, 2, 3, 4], result
")
