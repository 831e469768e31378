# bash completion for elo-tool: verbs, their options, and file arguments
# (links files, interface libraries). Stands alone: it needs nothing from the
# bash-completion package, which loads it on the first use of elo-tool.

_elo_tool_files() { # $1: the extension to offer (without the dot), $2: the word
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    if [ -n "$(compgen -f -X "!*.$1" -- "$2")" ]; then
        COMPREPLY=($(compgen -f -X "!*.$1" -- "$2") $(compgen -d -X "*.$1" -- "$2"))
    else
        COMPREPLY=($(compgen -f -- "$2")) # nothing of that kind here: any file will do
    fi
}

_elo_tool() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local verb="" sub="" after_dashes=0 i word
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [ "$word" = "--" ]; then
            after_dashes=1
        elif [ -z "$verb" ] && [[ $word != -* ]]; then
            verb=$word
        elif [ "$verb" = nlx ] && [ -z "$sub" ] && [[ $word != -* ]]; then
            sub=$word
        fi
    done
    [ "$verb" = nlx ] && verb="nlx $sub"

    # --opt=value: bash splits at "=", the value is being typed.
    if [ "$cur" = "=" ]; then
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        cur=""
    elif [ "$prev" = "=" ] && [ "$COMP_CWORD" -ge 2 ]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    case $prev in
    --keyword | --lookup | --next-id | --current-id)
        COMPREPLY=()
        return
        ;;
    -o)
        _elo_tool_files lnk "$cur"
        return
        ;;
    esac

    local options
    case $verb in
    "") options="--help --version" ;;
    tokens) options="--keyword --help" ;;
    parse) options="--lookup --help" ;;
    decode) options="--next-id --help" ;;
    tree | normalize) options="--current-id --help" ;;
    check) options="--json --help" ;;
    diff) options="--text --help" ;;
    merge) options="-o --help" ;;
    "nlx list" | "nlx show" | "nlx keywords") options="--wait --help" ;;
    *) options="--help" ;;
    esac
    if [[ $cur == -* ]] && [ $after_dashes -eq 0 ]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    case $verb in
    "")
        COMPREPLY=($(compgen -W "tokens parse decode encode tags params tagtext tree normalize check diff merge nlx" -- "$cur"))
        ;;
    "nlx ") COMPREPLY=($(compgen -W "list show keywords expand" -- "$cur")) ;;
    tree | normalize | check | diff | merge) _elo_tool_files lnk "$cur" ;;
    "nlx list" | "nlx keywords" | "nlx expand") _elo_tool_files nlx "$cur" ;;
    "nlx show")
        # LIB, then ENTRY (a name or an index: nothing to offer).
        local positional=0
        for ((i = 1; i < COMP_CWORD; i++)); do
            [[ ${COMP_WORDS[i]} == -* ]] || positional=$((positional + 1))
        done
        if [ $positional -le 2 ]; then _elo_tool_files nlx "$cur"; else COMPREPLY=(); fi
        ;;
    *) COMPREPLY=() ;; # texts and JSON: nothing to offer
    esac
}
complete -F _elo_tool elo-tool
