#!/usr/bin/env bash
# Renders each man page with man -l and checks that every option the program's --help
# lists is in it. Usage: man_page_test.sh FRAMEPROBE MAN_DIR
set -uo pipefail
program=$1
man_dir=$2
command -v man >/dev/null || { echo "man is not installed"; exit 77; }
failures=0

check_page() {  # PAGE HELP_COMMAND...
    local page=$man_dir/$1
    shift
    local text warnings options
    [[ -f $page ]] || { echo "FAIL: $page was not made"; failures=$((failures + 1)); return; }
    warnings=$(mktemp)
    # Wide lines, and words broken after a hyphen joined again, so that no option is cut.
    text=$(LC_ALL=C MANWIDTH=200 MANPAGER=cat man --warnings -l "$page" 2>"$warnings" | sed -e ':a' -e '/-$/{N;s/\n *//;ba}')
    if [[ -s $warnings ]]; then
        echo "FAIL: $page renders with warnings:"; cat "$warnings"; failures=$((failures + 1))
    fi
    rm -f "$warnings"
    grep -q '^SYNOPSIS' <<<"$text" || { echo "FAIL: $page has no SYNOPSIS"; failures=$((failures + 1)); }
    options=$("$@" --help | sed -nE 's/^  (-[^ ]+).*/\1/p' | tr ',' '\n')
    [[ -n $options ]] || { echo "FAIL: '$* --help' lists no option"; failures=$((failures + 1)); }
    for option in $options; do
        if ! grep -qE -- "(^|[^-[:alnum:]])$option([^-[:alnum:]]|$)" <<<"$text"; then
            echo "FAIL: $page does not describe $option"
            failures=$((failures + 1))
        fi
    done
}

check_page frameprobe.1 "$program"
# The main page names every subcommand in its SYNOPSIS and every other page in SEE ALSO.
main=$(LC_ALL=C MANWIDTH=200 MANPAGER=cat man -l "$man_dir/frameprobe.1" 2>/dev/null)
synopsis=$(sed -n '/^SYNOPSIS/,/^DESCRIPTION/p' <<<"$main")
see_also=$(sed -n '/^SEE ALSO/,$p' <<<"$main")
for subcommand in merge monitor index batch profiles; do
  grep -q "frameprobe $subcommand" <<<"$synopsis" || { echo "FAIL: SYNOPSIS leaves out $subcommand"; failures=$((failures + 1)); }
done
for page in "$man_dir"/frameprobe-*.1; do
  name=$(basename "$page" .1)
  grep -q "$name(1)" <<<"$see_also" || { echo "FAIL: SEE ALSO leaves out $name"; failures=$((failures + 1)); }
done
check_page frameprobe-merge.1 "$program" merge
check_page frameprobe-index.1 "$program" index
check_page frameprobe-batch.1 "$program" batch
check_page frameprobe-monitor.1 "$program" monitor
exit $((failures > 0))
