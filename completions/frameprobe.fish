# fish completion for frameprobe. Options, formats and indicator keys are read from
# the program's own --help, so they always match the installed version.

function __frameprobe_help
    set -l words (commandline -opc)
    if test (count $words) -ge 2; and contains -- "$words[2]" merge monitor index batch
        $words[1] $words[2] --help 2>/dev/null
    else
        $words[1] --help 2>/dev/null
    end
end

# Every option with its description, for a word that starts with a dash.
function __frameprobe_options
    for line in (__frameprobe_help | string match -r '^  -.*')
        set -l parts (string match -r '^  (-\S+)(?: [A-Z]\S*(?: \.\.\.)?)?\s*(.*)$' -- $line)
        for name in (string split , -- $parts[2])
            printf '%s\t%s\n' $name $parts[3]
        end
    end
end

# The help line of one option.
function __frameprobe_option_text --argument-names option
    __frameprobe_help | string match -r -- "^  (?:\S+,)?$option(?: .*)?\$"
end

function __frameprobe_formats
    __frameprobe_option_text --format | string replace -r '.*[Ff]ormat: ' '' | string replace -ar '\([^)]*\)|,| or ' ' ' | string split -n ' '
end

# Indicator keys after what the word already lists, for comma-separated lists.
function __frameprobe_indicators
    set -l listed (string replace -r '[^,]*$' '' -- (commandline -ct))
    set -l keys all (__frameprobe_option_text --indicators | string match -r -g 'list of ([a-z_,]+)' | string split ,)
    printf "$listed%s\n" $keys
end

# Profiles the program knows: the first word of each line of `frameprobe profiles`.
function __frameprobe_profiles
    set -l program (commandline -opc)[1]
    $program profiles 2>/dev/null | string replace -r '\s.*' ''
end

# The words so far are `frameprobe profiles show`.
function __frameprobe_profiles_show
    set -l words (commandline -opc)
    test (count $words) -eq 3; and test "$words[2]" = profiles; and test "$words[3]" = show
end

complete -c frameprobe -n 'string match -q -- "-*" (commandline -ct)' -a '(__frameprobe_options)'
complete -c frameprobe -n __fish_use_subcommand -a merge -d 'Join the outputs of segments of one run'
complete -c frameprobe -n __fish_use_subcommand -a monitor -d 'Watch live channels and raise alarms'
complete -c frameprobe -n __fish_use_subcommand -a index -d 'One page listing the runs of many JSON results'
complete -c frameprobe -n __fish_use_subcommand -a batch -d 'Measure many files into a folder with a catalogue that resumes'
complete -c frameprobe -n __fish_use_subcommand -a profiles -d 'List the QC profiles, or show one'
complete -c frameprobe -n '__fish_seen_subcommand_from profiles; and test (count (commandline -opc)) -eq 2' -f -a show -d 'Print a profile'
complete -c frameprobe -n __frameprobe_profiles_show -f -a '(__frameprobe_profiles)'
complete -c frameprobe -l format -x -a '(__frameprobe_formats)'
complete -c frameprobe -l indicators -x -a '(__frameprobe_indicators)'
complete -c frameprobe -l profile -r -a '(__frameprobe_profiles)'
complete -c frameprobe -s o -l output -r
complete -c frameprobe -l log -r
complete -c frameprobe -l report -r
complete -c frameprobe -l junit -r
complete -c frameprobe -l snapshots -r
