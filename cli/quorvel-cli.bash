# bash completion for quorvel-cli: the command first, then its options; the
# value of --password-file is a file (folders lead to it), of -o/--output-dir
# a folder, and every other word a FILE, as is every word after "--".
# Installed as share/bash-completion/completions/quorvel-cli.

_quorvel_cli_paths()
{
    # One name a line, quoted and given its "/" by bash, whatever it holds.
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen "$1" -- "$2"))
}

_quorvel_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    # bash splits "--output-dir=DIR" at the "=" into three words.
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    local i command= files_only=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        encipher | decipher) [[ -z $command ]] && command=${COMP_WORDS[i]} ;;
        --) [[ -n $command ]] && files_only=1 ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '-h --help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W 'encipher decipher' -- "$cur"))
        fi
        return
    fi
    if [[ -z $files_only ]]; then
        case $prev in
        --password-file)
            _quorvel_cli_paths -f "$cur"
            return
            ;;
        -o | --output-dir)
            _quorvel_cli_paths -d "$cur"
            return
            ;;
        esac
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '-h --help --password-file --password-stdin -o --output-dir -c --stdout
                                      -f --force -q --quiet --rm' -- "$cur"))
            return
        fi
    fi
    _quorvel_cli_paths -f "$cur"
}

complete -F _quorvel_cli quorvel-cli
