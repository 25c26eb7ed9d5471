#!/usr/bin/env bash
# Splits videos into segments of a fixed number of frames and runs them on a
# Slurm cluster: a job array with one task per segment, and a merge job that
# starts when every task has succeeded and joins each file's parts.
#
#   plan.sh [--segment FRAMES] [--out DIR] [--frameprobe PATH] [--merge-format FORMAT]
#           [--sbatch-option OPTION]... [--image IMAGE] [--no-submit] FILE... [-- FRAMEPROBE_OPTION...]
#   plan.sh --group FILES [--files-from LIST] [--out DIR] ... FILE... [-- FRAMEPROBE_OPTION...]
#   plan.sh --help
#
# --group FILES plans a batch of many files instead: whole files, FILES of them per
# task (1: a task per file). Task T runs `frameprobe batch` on lines T*FILES+1 to
# (T+1)*FILES of DIR/files.tsv into DIR/groups/T; the merge step (which starts when
# every task has ended, whatever their status) gathers the groups into DIR's catalogue
# (DIR/catalogue.sqlite, results in DIR/results/), measures any file a task left,
# and exits as `frameprobe batch` does. --files-from LIST adds the files listed in
# LIST, one a line (for more than a command line takes).
#
# Inputs and DIR must be on a file system that every node sees. The options after
# `--` go to every frameprobe run (e.g. `-s 1920x1080` for raw files, `--indicators`).
# --no-submit only writes the plan; DIR/kubernetes-indexed-job.yaml then runs it as
# a Kubernetes Indexed Job (IMAGE: an image with frameprobe and bash on the PATH).
#
# Task index arithmetic: DIR/segments.tsv has one line per task, and task T
# (SLURM_ARRAY_TASK_ID, or JOB_COMPLETION_INDEX in a Kubernetes Indexed Job)
# runs line T+1: "FILE<TAB>START<TAB>FRAMES<TAB>PART<TAB>COUNT", COUNT being the
# file's frame count. Files come in the order given; file F with N frames has
# ceil(N / FRAMES) segments, segment K starting at frame K * FRAMES (the last may
# be shorter), so T counts the segments of the files before F plus K. Every
# segment is measured as part of the whole run from frame 0 (`--origin 0`, with
# `--run-frames COUNT`), and `frameprobe merge` joins the parts the plan lists
# into that run's output, refusing a set that misses any frame of it.
set -euo pipefail

# The comment above, without its first line.
help_text() { sed -n '2,/^set -euo/p' "$0" | sed -n 's/^# \{0,1\}//p'; }
usage() { help_text | sed -n '5,7p' >&2; echo "Run 'plan.sh --help' for more." >&2; exit 2; }
die() { echo "plan.sh: $*" >&2; exit 1; }

segment=1000
group=
out=frameprobe-run
frameprobe=$(command -v frameprobe || true)
merge_format=jsonl
submit=1
image=registry.example.com/frameprobe:1.0.0
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
        --image) image=${2:?}; shift 2 ;;
        --no-submit) submit=0; shift ;;
        --group) group=${2:?}; shift 2 ;;
        --files-from) mapfile -t -O "${#files[@]}" files <"${2:?}"; shift 2 ;;
        -h|--help) help_text; exit 0 ;;
        --) shift; options=("$@"); break ;;
        -*) usage ;;
        *) files+=("$1"); shift ;;
    esac
done
((${#files[@]})) || usage
[[ -z $group || $group =~ ^[1-9][0-9]*$ ]] || die "the files per task must be a whole number above 0, not \"$group\""
[[ $segment =~ ^[1-9][0-9]*$ ]] || die "the segment length must be a whole number above 0, not \"$segment\""
[[ -n $frameprobe ]] || die "frameprobe is not on the PATH; give --frameprobe PATH"
for option in "${options[@]}"; do
    case $option in
        --format*|-o|--output*|--start*|--frames*|--origin*|--run-frames*|--log*) die "$option is set by the plan for each segment" ;;
    esac
done

# Absolute paths, so that tasks find everything wherever they start.
absolute() { case $1 in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }
[[ $frameprobe == */* ]] && frameprobe=$(absolute "$frameprobe")
mkdir -p "$out"
out=$(cd "$out" && pwd)
# The plan is written into a hidden folder and its files take their places only when
# every input has been counted: a plan that fails leaves no file, nor a part of one.
stage=$(mktemp -d "$out/.plan.XXXXXX")
trap 'rm -rf "$stage"' EXIT

# The frame count from the header record: frameprobe writes it before measuring,
# and stops when the pipe closes. Containers whose header does not say it (MPEG-TS,
# Matroska) have their video packets counted by ffprobe, which reads them without
# decoding: one packet per frame.
frame_count() {
    local count
    count=$({ "$frameprobe" "${options[@]}" --format jsonl -q "$1" 2>/dev/null || true; } | head -n 1 |
        sed -n 's/.*"frame_count":\([0-9][0-9]*\).*/\1/p')
    if [[ -z $count ]] && command -v ffprobe >/dev/null; then
        count=$(ffprobe -v error -select_streams "$probe_stream" -count_packets -show_entries stream=nb_read_packets \
            -of default=nw=1:nk=1 "$1" 2>/dev/null | head -n 1 || true)
        [[ $count =~ ^[0-9]+$ ]] || count=
    fi
    printf '%s\n' "$count"
}
# The stream frameprobe measures: --stream N, else the first video stream that is not a cover picture.
probe_stream=V:0
for ((i = 0; i < ${#options[@]}; i++)); do
    case ${options[$i]} in
        --stream) probe_stream=${options[$((i + 1))]:-V:0} ;;
        --stream=*) probe_stream=${options[$i]#--stream=} ;;
    esac
done

quoted_options=""
((${#options[@]})) && quoted_options=$(printf ' %q' "${options[@]}")
task_script=segment.sh
dependency=afterok
if [[ -n $group ]]; then
    # A batch of whole files: the plan is the list; nothing is opened before the tasks.
    for file in "${files[@]}"; do
        file=$(absolute "$file")
        [[ $file != *$'\t'* && $file != *$'\n'* ]] || die "$file: names with tabs or line breaks are not supported"
        printf '%s\n' "$file"
    done >"$stage/files.tsv"
    tasks=$(((${#files[@]} + group - 1) / group))
    task_script=group.sh
    dependency=afterany
    cat >"$stage/group.sh" <<SCRIPT
#!/usr/bin/env bash
# One group of the plan in $out: task T measures lines T*$group+1 to (T+1)*$group of files.tsv.
#SBATCH --job-name=frameprobe-group
#SBATCH --cpus-per-task=1
set -uo pipefail
index=\${SLURM_ARRAY_TASK_ID:-\${JOB_COMPLETION_INDEX:?no task index}}
$(printf %q "$frameprobe") batch -q --out $(printf %q "$out/groups")/"\$index" --jobs "\${SLURM_CPUS_PER_TASK:-1}" \
    --files-from <(sed -n "\$((index * $group + 1)),\$(((index + 1) * $group))p" $(printf %q "$out/files.tsv"))$quoted_options
status=\$?
# A file that failed is a row of the catalogue, not a failed task.
((status == 0 || status == 1 || status == 3)) || exit \$status
SCRIPT
    cat >"$stage/merge.sh" <<SCRIPT
#!/usr/bin/env bash
# Gathers the groups of the plan in $out into its catalogue, then measures what no task
# finished; exits as frameprobe batch does (0, 3 when a file failed its verdict, 1 when one
# could not be measured).
#SBATCH --job-name=frameprobe-merge
set -euo pipefail
cd $(printf %q "$out")
gather=()
for folder in groups/*/; do
    [[ -f \$folder/catalogue.sqlite ]] && gather+=(--gather "\$folder")
done
exec $(printf %q "$frameprobe") batch --out . "\${gather[@]}" --files-from files.tsv$quoted_options
SCRIPT
fi
: >"$stage/segments.tsv"
[[ -n $group ]] || : >"$stage/files.tsv"
tasks=${tasks:-0}
[[ -n $group ]] || for i in "${!files[@]}"; do
    file=$(absolute "${files[$i]}")
    [[ $file != *$'\t'* && $file != *$'\n'* ]] || die "$file: names with tabs or line breaks are not supported"
    [[ -r $file ]] || die "$file: cannot read it"
    count=$(frame_count "$file")
    [[ -n $count ]] || die "$file: cannot tell its frame count (neither from frameprobe nor by counting its packets with ffprobe)"
    ((count > 0)) || die "$file: has no frames"
    name="$i-$(basename "$file")"
    first=$tasks
    for ((start = 0; start < count; start += segment)); do
        frames=$((count - start < segment ? count - start : segment))
        printf '%s\t%d\t%d\t%s.%05d.jsonl\t%d\n' "$file" "$start" "$frames" "$name" $((start / segment)) "$count" \
            >>"$stage/segments.tsv"
        tasks=$((tasks + 1))
    done
    printf '%s\t%s\t%s\t%d\t%d\n' "$file" "$name" "$count" "$first" $((tasks - first)) >>"$stage/files.tsv"
done

[[ -n $group ]] || cat >"$stage/segment.sh" <<SCRIPT
#!/usr/bin/env bash
# One segment of the plan in $out: task T runs line T+1 of segments.tsv.
#SBATCH --job-name=frameprobe-segment
#SBATCH --cpus-per-task=1
set -euo pipefail
export FRAMEPROBE_THREADS=\${FRAMEPROBE_THREADS:-\${SLURM_CPUS_PER_TASK:-1}}
index=\${SLURM_ARRAY_TASK_ID:-\${JOB_COMPLETION_INDEX:?no task index}}
IFS=\$'\\t' read -r file start frames part count < <(sed -n "\$((index + 1))p" $(printf %q "$out/segments.tsv"))
exec $(printf %q "$frameprobe")$quoted_options --format jsonl -q --origin 0 --run-frames "\$count" \\
    --start "\$start" --frames "\$frames" -o $(printf %q "$out/parts")/"\$part" "\$file"
SCRIPT
[[ -n $group ]] || cat >"$stage/merge.sh" <<SCRIPT
#!/usr/bin/env bash
# Joins the parts of each file of the plan in $out into results/NAME.$merge_format:
# exactly the parts the plan lists, each of which must be there.
#SBATCH --job-name=frameprobe-merge
set -euo pipefail
cd $(printf %q "$out")
status=0
while IFS=\$'\\t' read -r file name count first tasks; do
    parts=()
    missing=()
    while IFS=\$'\\t' read -r _ _ _ part _; do
        if [[ -f parts/\$part ]]; then parts+=("parts/\$part"); else missing+=("\$part"); fi
    done < <(sed -n "\$((first + 1)),\$((first + tasks))p" segments.tsv)
    if ((\${#missing[@]})); then
        echo "merge.sh: \$file: \${#missing[@]} of \$tasks parts are missing: \${missing[*]}" >&2
        status=1
        continue
    fi
    $(printf %q "$frameprobe") merge --format $(printf %q "$merge_format") -o "results/\$name.$merge_format" \\
        "\${parts[@]}" || status=1
done < files.tsv
exit \$status
SCRIPT
# The same plan as a Kubernetes Indexed Job, with as many completions as tasks,
# then the merge as a Job of its own.
cat >"$stage/kubernetes-indexed-job.yaml" <<YAML
# The plan in $out as a Kubernetes Indexed Job: pod K (JOB_COMPLETION_INDEX=K)
# runs line K+1 of segments.tsv, as task K of the Slurm job array does. Mount the
# shared volume at the same path in the pods as where the plan was made:
#   kubectl apply -f kubernetes-indexed-job.yaml -l step=segments
#   kubectl wait --for=condition=complete --timeout=-1s job/frameprobe-segments
#   kubectl apply -f kubernetes-indexed-job.yaml -l step=merge
apiVersion: batch/v1
kind: Job
metadata:
  name: frameprobe-segments
  labels:
    step: segments
spec:
  completionMode: Indexed
  completions: $tasks  # the lines of segments.tsv
  parallelism: 8
  backoffLimit: 3
  template:
    spec:
      restartPolicy: Never
      containers:
        - name: frameprobe
          image: $image
          command: ["bash", "$out/$task_script"]
          env:
            - name: FRAMEPROBE_THREADS
              value: "1"
          resources:
            requests:
              cpu: "1"
          volumeMounts:
            - name: shared
              mountPath: $(dirname "$out")
      volumes:
        - name: shared
          persistentVolumeClaim:
            claimName: frameprobe-shared  # ReadWriteMany: every pod reads the inputs and writes its part
---
apiVersion: batch/v1
kind: Job
metadata:
  name: frameprobe-merge
  labels:
    step: merge
spec:
  backoffLimit: 1
  template:
    spec:
      restartPolicy: Never
      containers:
        - name: merge
          image: $image
          command: ["bash", "$out/merge.sh"]
          volumeMounts:
            - name: shared
              mountPath: $(dirname "$out")
      volumes:
        - name: shared
          persistentVolumeClaim:
            claimName: frameprobe-shared
YAML

mkdir -p "$out/parts" "$out/results" "$out/logs" "$out/groups"
for file in files.tsv $task_script merge.sh kubernetes-indexed-job.yaml segments.tsv; do
    [[ -n $group && $file == segments.tsv ]] || mv -f "$stage/$file" "$out/$file"
done
if [[ -n $group ]]; then
    echo "plan: $tasks tasks of up to $group files, from ${#files[@]} input(s), in $out"
else
    echo "plan: $tasks segments of up to $segment frames, from ${#files[@]} input(s), in $out"
fi
if ((!submit)); then
    echo "not submitted: run $out/$task_script with JOB_COMPLETION_INDEX 0 to $((tasks - 1)), then $out/merge.sh"
    exit 0
fi
array=$(sbatch --parsable "${sbatch_options[@]}" --output="$out/logs/${task_script%.sh}-%a.out" --array=0-$((tasks - 1)) \
    "$out/$task_script")
array=${array%%;*}
merge=$(sbatch --parsable "${sbatch_options[@]}" --output="$out/logs/merge.out" --dependency=$dependency:"$array" \
    "$out/merge.sh")
merge=${merge%%;*}
echo "submitted: ${task_script%.sh}s job $array, merge job $merge"
if [[ -n $group ]]; then
    echo "catalogue: $out/catalogue.sqlite, results in $out/results/"
    exit 0
fi
while IFS=$'\t' read -r file name count; do
    echo "results: $out/results/$name.$merge_format ($file, $count frames)"
done <"$out/files.tsv"
