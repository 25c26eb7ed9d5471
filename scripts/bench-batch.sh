#!/usr/bin/env bash
# Many files: `frameprobe batch` against xargs -P of single runs on 200 short files,
# frameprobe.map on a 2-worker Dask LocalCluster against batch --jobs 2, and the
# resume and catalogue page of a batch of 100,000 tiny inputs.
#   bash scripts/bench-batch.sh [BUILD_DIR]    (FILES=200 TINY=100000 to change the counts)
set -euo pipefail
build=$(realpath "${1:-build}")
frameprobe=$build/frameprobe
files=${FILES:-200}
tiny=${TINY:-100000}
work=$(mktemp -d /tmp/frameprobe-bench-batch.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
# 200 short H.264 files (1 s of 320x240 at 25 fps), each its own copy.
"$build/frameprobe-sample" clip.y4m 320 240 25 noise:10-15 black:18-20 >/dev/null
ffmpeg -v error -i clip.y4m -c:v libx264 -preset veryfast -g 25 clip.mp4
mkdir in
for ((i = 0; i < files; i++)); do cp clip.mp4 "in/clip$i.mp4"; done
single=(-q --no-log --format json --threads 1 --indicators all)
# Wall and CPU seconds (the children's included): on a shared machine the CPU time is the
# steadier measure of what each way costs per file.
timed() {
    local TIMEFORMAT="%R %U %S" t
    t=$({ time "$@" >/dev/null 2>"$work/stderr"; } 2>&1) || [[ $? == 3 ]] || { echo "failed: $* $(tail -3 "$work/stderr")" >&2; exit 1; }
    read -r wall user sys <<<"$t"
    echo "$wall s wall, $(echo "$user + $sys" | bc) s CPU"
}
# The two ways taken in turns, twice each, so that other work on the machine weighs on both alike.
for round in 1 2; do
    for p in 2 4; do
        rm -rf xargs && mkdir xargs
        echo "xargs -P $p of single runs: $(timed bash -c "ls in | xargs -P $p -I{} $frameprobe ${single[*]} -o xargs/{}.json in/{}")"
    done
    rm -rf batch
    echo "batch --jobs 2: $(timed "$frameprobe" batch -q --jobs 2 --out batch --indicators all in)"
done
echo "batch resumed, all $files done: $(timed "$frameprobe" batch -q --jobs 2 --out batch --indicators all in)"
# Dask's worker processes import the main module again: a file, not standard input.
cat >map.py <<'PY'
import glob, sys
import distributed, frameprobe
if __name__ == "__main__":
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        for f in frameprobe.map(sorted(glob.glob(sys.argv[1] + "/*.mp4")), client.get_executor(), indicators="all"):
            assert f.ok, f.error
PY
echo "frameprobe.map on 2 Dask workers (cluster start included): $(timed env PYTHONPATH="$build/python" /usr/bin/python3 map.py "$work/in")"
rm -rf batch
echo "batch --jobs 2 again: $(timed "$frameprobe" batch -q --jobs 2 --out batch --indicators all in)"

((tiny)) || exit 0
# 100,000 tiny inputs: the files exist; the catalogue's rows say each was measured
# (made directly from one real result, as a batch that measured them all would leave them).
mkdir tiny
python3 - "$work" "$tiny" "$frameprobe" <<'PY'
import json, os, sqlite3, subprocess, sys
work, count, program = sys.argv[1], int(sys.argv[2]), sys.argv[3]
frame = b"YUV4MPEG2 W16 H16 F25:1 C420jpeg\nFRAME\n" + bytes(16 * 16 * 3 // 2)
for i in range(count):
    with open(f"{work}/tiny/t{i:06d}.y4m", "wb") as f:
        f.write(frame)
subprocess.run([program, "batch", "-q", "--out", f"{work}/tinyout", f"{work}/tiny/t000000.y4m"], check=True)
db = sqlite3.connect(f"{work}/tinyout/catalogue.sqlite")
row = db.execute("SELECT * FROM files").fetchone()
names = [d[0] for d in db.execute("SELECT * FROM files").description]
result = open(f"{work}/tinyout/{row[names.index('result')]}").read()
rows = []
for i in range(1, count):
    path = f"{work}/tiny/t{i:06d}.y4m"
    st = os.stat(path)
    values = dict(zip(names, row))
    values.update(id=i + 1, path=path, size=st.st_size, mtime_ns=st.st_mtime_ns, result=f"results/{i + 1}-t{i:06d}.y4m.json")
    with open(f"{work}/tinyout/{values['result']}", "w") as f:
        f.write(result)
    rows.append(tuple(values[n] for n in names))
db.executemany(f"INSERT INTO files VALUES ({','.join('?' * len(names))})", rows)
db.commit()
PY
sync
echo "resume of $tiny tiny inputs, all done: $(timed "$frameprobe" batch -q --out tinyout tiny)"
touch tiny/t000007.y4m
echo "resume of $tiny tiny inputs, one changed: $(timed "$frameprobe" batch -q --out tinyout tiny)"
echo "index of $tiny rows: $(timed "$frameprobe" index tiny.html tinyout), page $(du -h tiny.html | cut -f1)"
