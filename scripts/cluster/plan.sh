#!/usr/bin/env bash
# Splits videos into segments of a fixed number of frames and runs them on a
# Slurm cluster: a job array with one task per segment, and a merge job that
# starts when every task has succeeded and joins each file's parts.
#
#   plan.sh [--segment FRAMES] [--out DIR] [--frameprobe PATH] [--merge-format FORMAT]
#           [--sbatch-option OPTION]... [--no-submit] FILE... [-- FRAMEPROBE_OPTION...]
#
# Inputs and DIR must be on a file system that every node sees. The options after
# `--` go to every frameprobe run (e.g. `-s 1920x1080` for raw files, `--indicators`).
#
# Task index arithmetic: DIR/segments.tsv has one line per task, and task T
# (SLURM_ARRAY_TASK_ID, or JOB_COMPLETION_INDEX in a Kubernetes Indexed Job)
# runs line T+1: "FILE<TAB>START<TAB>FRAMES<TAB>PART". Files come in the order
# given; file F with N frames has ceil(N / FRAMES) segments, segment K starting at
# frame K * FRAMES (the last may be shorter), so T counts the segments of the
# files before F plus K. Every segment is measured as part of the whole run from
# frame 0 (`--origin 0`), and `frameprobe merge` joins them into that run's output.
set -euo pipefail

usage() { sed -n '5,6p' "$0" | cut -c3- >&2; exit 2; }
die() { echo "plan.sh: $*" >&2; exit 1; }

segment=1000
out=frameprobe-run
frameprobe=$(command -v frameprobe || true)
merge_format=jsonl
submit=1
sbatch_options=()
files=()
options=()
while (($#)); do
    case $1 in
        --segment) segment=${2:?}; shift 2 ;;
        --out) out=${2:?}; shift 2 ;;
        --frameprobe) frameprobe=${2:?}; shift 2 ;;
        --merge-format) merge_format=${2:?}; shift 2 ;;
        --sbatch-option) sbatch_options+=("${2:?}"); shift 2 ;;
        --no-submit) submit=0; shift ;;
        --) shift; options=("$@"); break ;;
        -*) usage ;;
        *) files+=("$1"); shift ;;
    esac
done
((${#files[@]})) || usage
[[ $segment =~ ^[1-9][0-9]*$ ]] || die "the segment length must be a whole number above 0, not \"$segment\""
[[ -n $frameprobe ]] || die "frameprobe is not on the PATH; give --frameprobe PATH"
for option in "${options[@]}"; do
    case $option in
        --format*|-o|--output*|--start*|--frames*|--origin*|--log*) die "$option is set by the plan for each segment" ;;
    esac
done

# Absolute paths, so that tasks find everything wherever they start.
absolute() { case $1 in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }
[[ $frameprobe == */* ]] && frameprobe=$(absolute "$frameprobe")
mkdir -p "$out"
out=$(cd "$out" && pwd)
mkdir -p "$out/parts" "$out/results" "$out/logs"

# The frame count from the header record: frameprobe writes it before measuring,
# and stops when the pipe closes.
frame_count() {
    { "$frameprobe" "${options[@]}" --format jsonl -q "$1" 2>/dev/null || true; } | head -n 1 |
        sed -n 's/.*"frame_count":\([0-9][0-9]*\).*/\1/p'
}

: >"$out/segments.tsv"
: >"$out/files.tsv"
tasks=0
for i in "${!files[@]}"; do
    file=$(absolute "${files[$i]}")
    [[ $file != *$'\t'* && $file != *$'\n'* ]] || die "$file: names with tabs or line breaks are not supported"
    [[ -r $file ]] || die "$file: cannot read it"
    count=$(frame_count "$file")
    [[ -n $count ]] || die "$file: frameprobe cannot tell its frame count"
    ((count > 0)) || die "$file: has no frames"
    name="$i-$(basename "$file")"
    printf '%s\t%s\t%s\n' "$file" "$name" "$count" >>"$out/files.tsv"
    for ((start = 0; start < count; start += segment)); do
        frames=$((count - start < segment ? count - start : segment))
        printf '%s\t%d\t%d\t%s.%05d.jsonl\n' "$file" "$start" "$frames" "$name" $((start / segment)) >>"$out/segments.tsv"
        tasks=$((tasks + 1))
    done
done

quoted_options=""
((${#options[@]})) && quoted_options=$(printf ' %q' "${options[@]}")
cat >"$out/segment.sh" <<SCRIPT
#!/usr/bin/env bash
# One segment of the plan in $out: task T runs line T+1 of segments.tsv.
#SBATCH --job-name=frameprobe-segment
#SBATCH --cpus-per-task=1
set -euo pipefail
export FRAMEPROBE_THREADS=\${FRAMEPROBE_THREADS:-\${SLURM_CPUS_PER_TASK:-1}}
index=\${SLURM_ARRAY_TASK_ID:-\${JOB_COMPLETION_INDEX:?no task index}}
IFS=\$'\\t' read -r file start frames part < <(sed -n "\$((index + 1))p" $(printf %q "$out/segments.tsv"))
exec $(printf %q "$frameprobe")$quoted_options --format jsonl -q --origin 0 --start "\$start" --frames "\$frames" \\
    -o $(printf %q "$out/parts")/"\$part" "\$file"
SCRIPT
cat >"$out/merge.sh" <<SCRIPT
#!/usr/bin/env bash
# Joins the parts of each file of the plan in $out into results/NAME.$merge_format.
#SBATCH --job-name=frameprobe-merge
set -euo pipefail
cd $(printf %q "$out")
while IFS=\$'\\t' read -r file name count; do
    $(printf %q "$frameprobe") merge --format $(printf %q "$merge_format") -o "results/\$name.$merge_format" parts/"\$name".*.jsonl
done < files.tsv
SCRIPT

echo "plan: $tasks segments of up to $segment frames, from ${#files[@]} input(s), in $out"
if ((!submit)); then
    echo "not submitted: run $out/segment.sh with JOB_COMPLETION_INDEX 0 to $((tasks - 1)), then $out/merge.sh"
    exit 0
fi
array=$(sbatch --parsable "${sbatch_options[@]}" --output="$out/logs/segment-%a.out" --array=0-$((tasks - 1)) \
    "$out/segment.sh")
array=${array%%;*}
merge=$(sbatch --parsable "${sbatch_options[@]}" --output="$out/logs/merge.out" --dependency=afterok:"$array" \
    "$out/merge.sh")
merge=${merge%%;*}
echo "submitted: segments job $array, merge job $merge"
while IFS=$'\t' read -r file name count; do
    echo "results: $out/results/$name.$merge_format ($file, $count frames)"
done <"$out/files.tsv"
