# bash completion for frameprobe. Options, the formats and the indicator keys are
# read from the program's own --help, so they always match the installed version.

# The lines of `--help` that describe option $1, a wrapped second line included.
_frameprobe_option_text() {
    awk -v name="$1" '
        /^  -/ { if (found) exit; n = split($1, names, ","); for (i = 1; i <= n; i++) if (names[i] == name) found = 1 }
        /^$/ { if (found) exit }
        found { print }'
}

# Profile names the program knows, the first word of each line of `frameprobe profiles`.
_frameprobe_profiles() {
    "$1" profiles 2>/dev/null | awk '{ print $1 }'
}

_frameprobe() {
    local program=$1 cur=${COMP_WORDS[COMP_CWORD]} prev=
    local -i at=COMP_CWORD
    ((at > 0)) && prev=${COMP_WORDS[at - 1]}
    # --name=value arrives as three words: --name, =, value.
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]] && ((at > 1)); then
        prev=${COMP_WORDS[at - 2]}
    fi
    [[ $cur == =* ]] && cur=${cur#=}

    # frameprobe profiles [show NAME]
    if [[ ${COMP_WORDS[1]} == profiles ]] && ((at > 1)); then
        COMPREPLY=()
        if ((at == 2)); then
            mapfile -t COMPREPLY < <(compgen -W "show --help" -- "$cur")
        elif ((at == 3)) && [[ ${COMP_WORDS[2]} == show ]]; then
            mapfile -t COMPREPLY < <(compgen -W "$(_frameprobe_profiles "$program")" -- "$cur")
        fi
        return 0
    fi
    local -a command=("$program")
    [[ ${COMP_WORDS[1]} == merge || ${COMP_WORDS[1]} == monitor || ${COMP_WORDS[1]} == index || ${COMP_WORDS[1]} == batch ]] && ((at > 1)) && command+=("${COMP_WORDS[1]}")
    local help
    help=$("${command[@]}" --help 2>/dev/null) || help=

    COMPREPLY=()
    if [[ $prev == -* ]]; then
        local text
        text=$(_frameprobe_option_text "$prev" <<<"$help")
        # An option that takes a value shows its type after its name, e.g. "--fps TEXT".
        if [[ -n $text && ${text%%$'\n'*} =~ ^\ \ -[^\ ]+\ [A-Z] ]]; then
            case $prev in
                --format)
                    local formats
                    formats=$(sed -nE 's/.*[Ff]ormat: //p' <<<"$text" | sed -E 's/\([^)]*\)//g; s/,| or / /g')
                    mapfile -t COMPREPLY < <(compgen -W "$formats" -- "$cur")
                    ;;
                --indicators)
                    local keys done=
                    keys="all $(tr '\n' ' ' <<<"$text" | sed -nE 's/.*list of ([a-z_,]+).*/\1/p' | tr ',' ' ')"
                    [[ $cur == *,* ]] && done=${cur%,*},
                    mapfile -t COMPREPLY < <(compgen -P "$done" -W "$keys" -- "${cur##*,}")
                    compopt -o nospace
                    ;;
                --profile)
                    mapfile -t COMPREPLY < <(compgen -W "$(_frameprobe_profiles "$program")" -- "$cur")
                    compopt -o filenames
                    mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -f -- "$cur")
                    ;;
                -o | --output | --log | --report | --snapshots | --junit | --out | --files-from)
                    compopt -o filenames
                    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
                    ;;
            esac
            return 0
        fi
    fi
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(sed -nE 's/^  (-[^ ]+).*/\1/p' <<<"$help" | tr ',' ' ')" -- "$cur")
        return 0
    fi
    compopt -o filenames
    ((at == 1)) && mapfile -t COMPREPLY < <(compgen -W "batch index merge monitor profiles" -- "$cur")
    mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -f -- "$cur")
    return 0
}

complete -F _frameprobe frameprobe
