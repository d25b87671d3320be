# bash completion for vorlanth-cli (installed as share/bash-completion/completions/vorlanth-cli).
# Options come from `vorlanth-cli --help` at completion time, so a new option appears without an
# edit here. The argument text PATH,LINK,PORT,RATE,FILETYPE,MODE is completed one field at a
# time: program files by extension, the link, COM numbers from `vorlanth-cli --list-ports` and
# the VORLANTH_COM<n> variables set, the baud rate index, the file type that matches the
# program's extension, and the mode.

# _vorlanth_cli_help_options CLI: one line per option of `CLI --help`, "NAME" or "NAME VALUE"
# for an option that takes a value ("--jobs N" lists as "--jobs N").
_vorlanth_cli_help_options() {
    local line rest option value
    while IFS= read -r line; do
        [[ $line =~ ^[[:space:]]+(--[a-z0-9][a-z0-9-]*)(.*)$ ]] || continue
        # An option line may name more than one (--help, --version) before its description.
        while [[ $line =~ ^[[:space:]]*,?[[:space:]]*(--[a-z0-9][a-z0-9-]*)([ =]([A-Z][A-Z_]*))?(.*)$ ]]; do
            option=${BASH_REMATCH[1]}
            value=${BASH_REMATCH[3]}
            rest=${BASH_REMATCH[4]}
            echo "$option${value:+ $value}"
            [[ $rest =~ ^[[:space:]]*,[[:space:]]*-- ]] || break
            line=$rest
        done
    done < <("$1" --help 2>/dev/null)
}

# _vorlanth_cli_com_numbers CLI: the COM numbers that reach a port, from --list-ports and from
# the VORLANTH_COM<n> variables of the environment.
_vorlanth_cli_com_numbers() {
    local line name
    while IFS= read -r line; do
        [[ $line =~ [[:space:]]COM[[:space:]]+([0-9]+)[[:space:]] ]] && echo "${BASH_REMATCH[1]}"
    done < <("$1" --list-ports 2>/dev/null)
    for name in $(compgen -e VORLANTH_COM); do
        [[ $name =~ ^VORLANTH_COM([0-9]+)$ ]] && echo "${BASH_REMATCH[1]}"
    done
}

# _vorlanth_cli_file_type PATH: the FILETYPE digit that goes with the program's extension.
_vorlanth_cli_file_type() {
    case "${1,,}" in
        *.shx) echo 0 ;;
        *.qbx) echo 1 ;;
        *.bin) echo 2 ;;
        *) echo 0 1 2 ;;
    esac
}

# _vorlanth_cli_program_paths CUR: directories (with "/") and .shx, .qbx and .bin files (any
# case, with the "," that ends the field) whose path starts with CUR.
_vorlanth_cli_program_paths() {
    local path
    while IFS= read -r path; do
        if [[ -d $path ]]; then
            echo "$path/"
        else
            case "${path,,}" in
                *.shx | *.qbx | *.bin) echo "$path," ;;
            esac
        fi
    done < <(compgen -f -- "$1")
}

# _vorlanth_cli_argument_text CUR: the candidates for the field of the argument text being typed.
_vorlanth_cli_argument_text() {
    local cur=$1 cli=$2
    local commas=${cur//[^,]/}
    local count=${#commas} prefix=${cur%,*}, fields=() values=() value
    if ((count == 0)); then
        _vorlanth_cli_program_paths "$cur"
        return
    fi
    IFS=, read -r -a fields <<<"$cur"
    case $count in
        1) values=(1 2 3) ;;
        2) [[ ${fields[1]} == 3 ]] || mapfile -t values < <(_vorlanth_cli_com_numbers "$cli" | sort -nu) ;;
        3) [[ ${fields[1]} == 3 ]] || values=(1 2 3 4 5) ;;
        4) read -r -a values <<<"$(_vorlanth_cli_file_type "${fields[0]}")" ;;
        5) values=(0 1) ;;
    esac
    local candidate
    for value in "${values[@]}"; do
        # The last field ends the argument text; every other one goes on to the next.
        candidate=$prefix$value
        ((count == 5)) || candidate+=,
        [[ $candidate == "$cur"* ]] && echo "$candidate"
    done
    return 0
}

# _vorlanth_cli: the completion function bash calls for vorlanth-cli.
_vorlanth_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} cli=${COMP_WORDS[0]} previous_value=""
    # A program typed as ~/path stays unexpanded in COMP_WORDS.
    # shellcheck disable=SC2088
    [[ $cli == "~/"* ]] && cli=$HOME/${cli#"~/"}
    local -a options
    mapfile -t options < <(_vorlanth_cli_help_options "$cli")
    # Options end at the first word that is not one (or at "--"); so does this completion.
    local i word entry options_done=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $previous_value ]]; then
            previous_value=""
            continue
        fi
        if [[ $word == -- || $word != --* ]]; then
            options_done=1
            break
        fi
        for entry in "${options[@]}"; do
            [[ $entry == "$word "* ]] && previous_value=${entry#* }
        done
    done
    COMPREPLY=()
    if ((!options_done)) && [[ -n $previous_value ]]; then
        # The value of an option: a file where the option names one, else nothing to offer.
        if [[ $previous_value == *FILE* || $previous_value == *PATH* ]]; then
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        fi
        return 0
    fi
    if ((!options_done)) && [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${options[*]%% *}" -- "$cur")
        return 0
    fi
    # A field's candidate ends in "," or "/" and goes on; only the last field takes a blank.
    local commas=${cur//[^,]/}
    ((${#commas} >= 5)) || compopt -o nospace 2>/dev/null
    mapfile -t COMPREPLY < <(_vorlanth_cli_argument_text "$cur" "$cli")
    return 0
}

complete -F _vorlanth_cli vorlanth-cli
