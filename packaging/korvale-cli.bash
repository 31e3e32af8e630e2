# bash completion for korvale-cli. Commands, options and the values listed as a|b|c are read
# from the program's own --help (in English, whatever the user's language), so the completion
# follows the program it belongs to.

_korvale_cli_help_section() {
    # The lines of one section of the help, from its heading to the next blank line.
    LANGUAGE=en "$1" --help 2>/dev/null | awk -v heading="$2" '
        index($0, heading) == 1 { inside = 1; next }
        inside && /^$/ { exit }
        inside { print }'
}

_korvale_cli_option_lines() {
    # The help lines of one command's options; a heading that says the command takes "every
    # option of" another brings that command's lines first, so that their values are found.
    local heading other
    heading=$(LANGUAGE=en "$1" --help 2>/dev/null | awk -v heading="Options of $2" '
        index($0, heading) == 1 && substr($0, length(heading) + 1, 1) !~ /[a-z-]/ {
            print
            exit
        }')
    other=$(sed -n 's/^Options of [a-z-]* (every option of \([a-z-]*\).*/\1/p' <<<"$heading")
    [[ -n $other && $other != "$2" ]] && _korvale_cli_help_section "$1" "Options of $other"
    _korvale_cli_help_section "$1" "Options of $2"
    # The options for lists, shards and reports, which these commands share.
    case $2 in
        run | plan | probe | stats) _korvale_cli_help_section "$1" "Lists, shards and reports" ;;
    esac
}

_korvale_cli() {
    local cur prev words cword
    _init_completion || return
    local program=${words[0]}

    if ((cword == 1)); then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
        else
            local commands
            commands=$(_korvale_cli_help_section "$program" 'Commands:' |
                awk '/^  [a-z]/ { print $1 }')
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local command=${words[1]} i
    # After "--" every argument is a file.
    for ((i = 2; i < cword; i++)); do
        if [[ ${words[i]} == -- ]]; then
            _filedir
            return
        fi
    done

    case $command in
        stamp)
            # The first argument is the DPI, the rest are files.
            ((cword == 2)) && return
            _filedir
            ;;
        *)
            # A command with options has its own "Options of COMMAND" section in the help.
            local lines options
            lines=$(_korvale_cli_option_lines "$program" "$command")
            options=$(grep -o -- '--[a-z][a-z-]*' <<<"$lines" | sort -u)
            if [[ -n $options && $prev == --* ]] && grep -qx -- "$prev" <<<"$options"; then
                case $prev in
                    --output)
                        _filedir -d
                        return
                        ;;
                    --files-from | --failed-list)
                        _filedir
                        return
                        ;;
                    --preset)
                        # Names hold spaces: match what was typed without its quoting, and
                        # offer each name quoted for the shell.
                        local typed=${cur//\\/} name
                        typed=${typed#[\"\']}
                        while IFS= read -r name; do
                            [[ $name == "$typed"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
                        done < <("$program" presets 2>/dev/null | cut -f2)
                        return
                        ;;
                    --anchor)
                        COMPREPLY=($(compgen -W '0 1 2 3 4 5 6 7 8 top-left top-centre
                            top-right middle-left centre middle-right bottom-left
                            bottom-centre bottom-right' -- "$cur"))
                        return
                        ;;
                esac
                # The word after the option in the help: a|b|c lists the values, a
                # placeholder in capitals (N) takes a value of the user's own, and
                # anything else means the option takes no value.
                local value
                value=$(grep -o -- "$prev [^ ]*" <<<"$lines" | head -n 1)
                value=${value#"$prev "}
                if [[ $value == *'|'* ]]; then
                    COMPREPLY=($(compgen -W "$(tr '|' '\n' <<<"$value" |
                        grep -x '[a-z0-9][a-z0-9-]*')" -- "$cur"))
                    return
                fi
                [[ $value =~ ^[A-Z#] ]] && return
            fi
            if [[ -n $options && $cur == -* ]]; then
                COMPREPLY=($(compgen -W "$options --" -- "$cur"))
            else
                _filedir
            fi
            ;;
    esac
} &&
    complete -F _korvale_cli korvale-cli
