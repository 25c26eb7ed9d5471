#!/usr/bin/env bash
# The cluster plan without a cluster: plan.sh's help, a plan made with
# --no-submit whose tasks and merge step run here by hand, the Kubernetes
# manifest written with the plan's task count, and a merge step that refuses
# a plan whose parts are not all there. Also: the Slurm test installs nothing.
#   plan_test.sh FRAMEPROBE FRAMEPROBE_SAMPLE
set -euo pipefail
frameprobe=$(realpath "$1")
sample=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
plan=$root/scripts/cluster/plan.sh
tmp=$(mktemp -d /tmp/frameprobe-plan.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
fail() { echo "FAIL: $*" >&2; exit 1; }

help=$(bash "$plan" --help) || fail "plan.sh --help exits $?"
for text in "--no-submit" "--image IMAGE" "Task index arithmetic" "FILE<TAB>START<TAB>FRAMES<TAB>PART<TAB>COUNT"; do
    grep -qF -- "$text" <<<"$help" || fail "plan.sh --help does not say \"$text\""
done
status=0
bash "$plan" --bogus 2>err || status=$?
((status == 2)) && grep -qF -- "--help" err || fail "an unknown option gives status $status: $(cat err)"

"$sample" clip.yuv 64 64 25 freeze:3-12 black:20-21 >/dev/null
bash "$plan" --no-submit --segment 10 --out run --frameprobe "$frameprobe" clip.yuv -- -s 64x64 >/dev/null
grep -q '^  completions: 3  ' run/kubernetes-indexed-job.yaml || fail "the manifest does not ask for 3 completions"
grep -qF "bash\", \"$tmp/run/segment.sh\"" run/kubernetes-indexed-job.yaml || fail "the manifest runs no segment.sh"

# Tasks 0 and 1 only: the merge step names the part that is missing.
for task in 0 1; do JOB_COMPLETION_INDEX=$task bash run/segment.sh; done
status=0
bash run/merge.sh 2>err || status=$?
((status == 1)) && grep -q "1 of 3 parts are missing: 0-clip.yuv.00002.jsonl" err ||
    fail "merge.sh with a missing last part gives status $status: $(cat err)"
[[ ! -e run/results/0-clip.yuv.jsonl ]] || fail "merge.sh wrote a result from an incomplete plan"

JOB_COMPLETION_INDEX=2 bash run/segment.sh
touch run/parts/0-clip.yuv.00009.jsonl  # not part of the plan: left alone
bash run/merge.sh || fail "merge.sh of the complete plan failed"
frames() { grep '"type":"frame"' "$1"; }
"$frameprobe" -s 64x64 -q --format jsonl -o whole.jsonl clip.yuv
diff <(frames whole.jsonl) <(frames run/results/0-clip.yuv.jsonl) >/dev/null || fail "the merged frames differ"
diff <(grep -o '"events":.*"run"' whole.jsonl) <(grep -o '"events":.*"run"' run/results/0-clip.yuv.jsonl) ||
    fail "the merged summary differs"

# MPEG-TS and Matroska do not say their frame count: the plan counts their packets, and the
# parts of the TS file's plan make its whole run.
if command -v ffmpeg >/dev/null; then
    for kind in ts mkv; do
        ffmpeg -v error -f rawvideo -s 64x64 -pix_fmt yuv420p -r 25 -i clip.yuv -c:v mpeg2video -g 6 -bf 0 "clip.$kind"
        bash "$plan" --no-submit --segment 13 --out "run-$kind" --frameprobe "$frameprobe" "clip.$kind" >/dev/null ||
            fail "no plan for clip.$kind"
        [[ $(cut -f2,3,5 "run-$kind/segments.tsv" | tr '\t\n' ', ') == "0,13,25 13,12,25 " ]] ||
            fail "the plan of clip.$kind is $(cat "run-$kind/segments.tsv")"
    done
    for task in 0 1; do JOB_COMPLETION_INDEX=$task bash run-ts/segment.sh; done
    bash run-ts/merge.sh || fail "merge.sh of clip.ts failed"
    "$frameprobe" -q --format jsonl -o whole.ts.jsonl clip.ts
    diff <(frames whole.ts.jsonl) <(frames run-ts/results/0-clip.ts.jsonl) >/dev/null || fail "the merged frames of clip.ts differ"
fi

# A plan that fails leaves the earlier one as it was, and no part of its own.
cp run/segments.tsv before.tsv
printf 'not a video' >junk.mp4
status=0
bash "$plan" --no-submit --segment 5 --out run --frameprobe "$frameprobe" clip.yuv junk.mp4 -- -s 64x64 \
    >/dev/null 2>err || status=$?
((status == 1)) && grep -q "junk.mp4: " err || fail "a bad input gives status $status"
cmp -s before.tsv run/segments.tsv || fail "a failed plan changed segments.tsv"
[[ -z $(find run -maxdepth 1 -name '.plan.*') ]] || fail "a failed plan left its files"

# A batch of whole files, two per task: task 1 never ran, so the merge step measures its file;
# the broken one is a row of the catalogue, and the status says so.
"$sample" a.y4m 32 32 4 >/dev/null
cp a.y4m b.y4m
bash "$plan" --no-submit --group 2 --out batch --frameprobe "$frameprobe" a.y4m junk.mp4 b.y4m -- --indicators blur \
    >/dev/null || fail "no plan of a batch"
grep -q '^  completions: 2  ' batch/kubernetes-indexed-job.yaml || fail "the batch's manifest does not ask for 2 completions"
JOB_COMPLETION_INDEX=0 bash batch/group.sh || fail "a task of a batch with a broken file failed"
status=0
bash batch/merge.sh 2>err || status=$?
((status == 1)) || fail "the batch's merge step gives status $status: $(cat err)"
[[ ! -e batch/groups/0 && $(ls batch/results) == $'1-a.y4m.json\n3-b.y4m.json' ]] ||
    fail "the batch's results are $(ls batch/results batch/groups)"
"$frameprobe" index page.html batch && grep -q '<p id="totals">2 runs' page.html || fail "the batch's catalogue"

# Without Slurm the cluster test is skipped: it never reaches for the package manager.
mkdir bin
printf '#!/bin/sh\ntouch %q/apt-get-ran\nexit 1\n' "$tmp" >bin/apt-get
chmod +x bin/apt-get
status=0
PATH=$tmp/bin:/usr/bin:/bin bash "$root/tests/cluster/slurm_test.sh" "$frameprobe" "$sample" >/dev/null 2>&1 || status=$?
if ! command -v slurmctld >/dev/null; then
    ((status == 77)) || fail "the Slurm test without Slurm gives status $status, not 77"
fi
[[ ! -e apt-get-ran ]] || fail "the Slurm test ran apt-get"
echo "plan checks passed"
