# bash completion for quorvex-check
#
# The options come from the program's own --help, so they follow it;
# every other word is a file or a folder to check, and so is every word
# after "--".
_quorvex_check()
{
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
        --files0-from)
            _filedir
            return
            ;;
        --jobs | -j)
            return
            ;;
    esac

    $split && return

    local i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} == -- ]]; then
            _filedir
            return
        fi
    done

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '$(_parse_help "$1")' -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    _filedir
} &&
    complete -F _quorvex_check quorvex-check
