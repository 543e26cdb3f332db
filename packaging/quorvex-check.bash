# bash completion for quorvex-check
#
# The options come from the program's own --help, so they follow it;
# every other word is a file or a folder to check.
_quorvex_check()
{
    local cur prev words cword split
    _init_completion -s || return

    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '$(_parse_help "$1")' -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    _filedir
} &&
    complete -F _quorvex_check quorvex-check
