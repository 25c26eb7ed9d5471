#!/usr/bin/env bash
# Installs the build into two prefixes, moves one, and runs an MP4 from another
# directory with each: the program finds FFmpeg's module relative to itself.
# Without the module, its message lists the places tried and names the variable.
# Usage: relocate_test.sh BUILD_DIR
set -uo pipefail
build=$1
command -v ffmpeg >/dev/null || { echo "the ffmpeg program is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset FRAMEPROBE_MODULE_DIR
fail() { echo "FAIL: $*"; exit 1; }

for prefix in first second; do
    cmake --install "$build" --prefix "$work/$prefix" >/dev/null || fail "cmake --install into $prefix"
done
mv "$work/second" "$work/moved"
mkdir "$work/clips" "$work/elsewhere"
ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 5 -c:v mpeg4 \
    "$work/clips/clip.mp4" || fail "ffmpeg could not make the clip"
cd "$work/elsewhere"

run() {  # PROGRAM: a CSV run of the clip
    "$1" --format csv --no-log -q ../clips/clip.mp4 2>"$work/err"
}
for prefix in first moved; do
    out=$(run "$work/$prefix/bin/frameprobe") || fail "$prefix: $(cat "$work/err")"
    [[ $(wc -l <<<"$out") == 6 ]] || fail "$prefix: expected a header and 5 rows, got: $out"
    [[ -z ${reference-} || $out == "$reference" ]] || fail "$prefix: another result than the first prefix"
    reference=$out
    out=$(PATH="$work/$prefix/bin:$PATH" run frameprobe) || fail "$prefix on PATH: $(cat "$work/err")"
    [[ $out == "$reference" ]] || fail "$prefix on PATH: another result"
done
for file in share/bash-completion/completions/frameprobe share/zsh/vendor-completions/_frameprobe \
    share/fish/vendor_completions.d/frameprobe.fish share/man/man1/frameprobe.1.gz share/doc/frameprobe/changelog.gz; do
    [[ -f $work/moved/$file ]] || fail "the install has no $file"
done

# Every relative link of the installed documents leads to an installed file.
docs=$work/moved/share/doc/frameprobe
for page in "$docs"/README.md "$docs"/docs/*.md; do
    while read -r target; do
        [[ -e $(dirname "$page")/${target%%#*} ]] || fail "$page links to $target, which is not installed"
    done < <(grep -oE '\]\([^)#: ]+(#[^) ]*)?\)' "$page" | sed -E 's/^\]\(//; s/\)$//')
done

find "$work/first" -name 'frameprobe-ffmpeg*' -delete
if run "$work/first/bin/frameprobe"; then
    echo "a module is installed in the configured directory: the message is not checked"
    exit 0
fi
message=$(cat "$work/err")
for part in "$work/first/bin/frameprobe-ffmpeg" "$work/first/lib/frameprobe/frameprobe-ffmpeg" FRAMEPROBE_MODULE_DIR; do
    [[ $message == *"$part"* ]] || fail "the message does not name $part: $message"
done
