#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds and runs tiny clients
# against it: with find_package (C++ on the shared library, C on the static
# one) and with pkg-config (C on the shared library).
set -euo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")" && pwd)/consumer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libframeprobe.so.1' | head -n 1)")
export LD_LIBRARY_PATH=$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}

cmake -S "$source_dir" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer_cpp"
"$work/consumer/consumer_c_static"
if ldd "$work/consumer/consumer_c_static" | grep -q libframeprobe; then
    echo "the static client loads the shared library" >&2
    exit 1
fi

export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -std=c11 -Wall -Werror "$source_dir/consumer.c" $(pkg-config --cflags --libs frameprobe) -o "$work/consumer_c"
"$work/consumer_c"
test "$(pkg-config --modversion frameprobe)" = "$(sed -n 's/.*FRAMEPROBE_VERSION_STRING "\(.*\)"/\1/p' "$prefix/include/frameprobe/version.h")"
readelf -d "$libdir/libframeprobe.so" | grep -q 'SONAME.*libframeprobe.so.1'
