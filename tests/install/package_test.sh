#!/usr/bin/env bash
# Builds the Debian package with cpack, installs it with apt-get, runs the installed
# program on an MP4 and on a Y4M pipe, removes it and checks that none of its files
# is left. It changes the machine, so it runs as root or with sudo only, never over an
# install of frameprobe it did not make, and it removes what it installed even when a
# check fails. Usage: package_test.sh BUILD_DIR
set -uo pipefail
build=$1
sudo_cmd=()
if [[ $(id -u) != 0 ]]; then
    sudo -n true 2>/dev/null || { echo "needs root or sudo without a password"; exit 77; }
    sudo_cmd=(sudo -n)
fi
command -v ffmpeg >/dev/null || { echo "the ffmpeg program is not installed"; exit 77; }
if dpkg-query -W -f='${Status}' frameprobe 2>/dev/null | grep -q ' installed$'; then
    echo "frameprobe is already installed on this machine: left alone"
    exit 77
fi
apt=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=600)
work=$(mktemp -d)
installed=()
cleanup() {
    ((${#installed[@]})) && "${apt[@]}" purge "${installed[@]}" >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/package/frameprobe_*.deb)
[[ -f ${debs[0]} ]] || fail "cpack made no frameprobe_*.deb: $(ls "$work/package")"
deb=${debs[0]}
built=$SECONDS
dpkg-deb -f "$deb" Depends | grep -q libavformat || fail "the package does not depend on FFmpeg's libraries"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')

dpkg-query -W -f='${Package}\n' | sort >"$work/before"
cd "$work/package"  # apt-get takes a local package by a path that starts with ./
"${apt[@]}" install "./$(basename "$deb")" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "the package did not install"; }
# frameprobe, and any dependency this machine did not have yet: removed again at the end.
mapfile -t installed < <(dpkg-query -W -f='${Package}\n' | sort | comm -13 "$work/before" -)

mkdir "$work/run" && cd "$work/run"
ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 5 -c:v mpeg4 clip.mp4 ||
    fail "ffmpeg could not make the clip"
out=$(/usr/bin/frameprobe --format csv --no-log -q clip.mp4) || fail "the installed program on an MP4"
[[ $(wc -l <<<"$out") == 6 ]] || fail "MP4: expected a header and 5 rows, got: $out"
out=$(ffmpeg -hide_banner -loglevel error -i clip.mp4 -f yuv4mpegpipe - | /usr/bin/frameprobe --no-log -q -) ||
    fail "the installed program on a Y4M pipe"
[[ $(grep -c . <<<"$out") -ge 6 ]] || fail "Y4M pipe: expected the table of 5 frames, got: $out"
man -w frameprobe >/dev/null || fail "man finds no frameprobe page"
if grep -q '/dist-packages/frameprobe' <<<"$files"; then
    # The system's interpreter, which the package depends on (another python3 may come first on PATH).
    /usr/bin/python3 -c 'import frameprobe' || fail "python3 cannot import the installed module"
fi

echo "built in $built s, installed in $((SECONDS - built)) s"
"${apt[@]}" remove "${installed[@]}" >/dev/null || fail "apt-get remove"
installed=()
if dpkg-query -W -f='${Status}' frameprobe 2>/dev/null | grep -q ' installed$'; then fail "frameprobe is still installed"; fi
left=$(while read -r file; do [[ -e $file || -L $file ]] && echo "$file"; done <<<"$files")
[[ -z $left ]] || fail "files left after apt-get remove: $left"
for dir in /usr/lib/frameprobe /usr/share/doc/frameprobe; do [[ ! -e $dir ]] || fail "$dir is left"; done
# The ldconfig call CPack adds for shared objects under /usr/lib is a postrm script,
# which dpkg keeps, with the package's name, until the package is purged.
"${sudo_cmd[@]}" dpkg --purge frameprobe >/dev/null || fail "dpkg --purge"
if dpkg-query -W frameprobe >/dev/null 2>&1; then fail "dpkg still knows frameprobe after the purge"; fi
echo "installed, ran and removed $(basename "$deb") in $SECONDS s"
