# bash completion for kestrix-cli
# Subcommands and options are read from the program's own --help, asked once per (sub)command in
# a shell session, so the completion always follows the program.

declare -gA _kestrix_cli_help_cache

# Sets the caller's _kestrix_cli_help to the --help text of the command "$@" (program, subcommands).
_kestrix_cli_help_of() {
    local key="$*"
    if [[ -z ${_kestrix_cli_help_cache[$key]+set} ]]; then
        _kestrix_cli_help_cache[$key]=$("$@" --help 2>/dev/null </dev/null)
    fi
    _kestrix_cli_help=${_kestrix_cli_help_cache[$key]}
}

# Prints the names listed under "Subcommands:" in the help text $1. Lines indented deeper than a
# name are a wrapped description.
_kestrix_cli_subcommands() {
    local line in_section=0
    while IFS= read -r line; do
        if [[ $line != [[:space:]]* ]]; then
            in_section=0
            [[ ${line,,} == subcommands:* ]] && in_section=1
        elif ((in_section)) && [[ $line =~ ^[[:space:]]{1,4}([^[:space:]]+) ]]; then
            printf '%s\n' "${BASH_REMATCH[1]}"
        fi
    done <<<"$1"
}

# Prints the option names on the option lines of the help text $1: "-h,--help", "-h,  --help",
# "--filter TEXT:{box,...}=lanczos3" and "--no-black{false}" give -h, --help, --filter, --no-black.
_kestrix_cli_options() {
    local line word name
    local -a words names
    while IFS= read -r line; do
        read -ra words <<<"$line"
        [[ ${words[0]-} == -[[:alnum:]-]* ]] || continue
        for word in "${words[@]}"; do
            [[ $word == -* ]] || break
            IFS=, read -ra names <<<"$word"
            for name in "${names[@]}"; do
                name=${name%%[^[:alnum:]_-]*}
                [[ $name == -?* ]] && printf '%s\n' "$name"
            done
            [[ $word == *, ]] || break
        done
    done <<<"$1"
}

_kestrix_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} word subcommands _kestrix_cli_help i
    local -a command=("${COMP_WORDS[0]}")
    _kestrix_cli_help_of "${command[@]}"
    subcommands=$(_kestrix_cli_subcommands "$_kestrix_cli_help")
    # Follow the subcommand and sub-subcommand named before the word being completed.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $word && $'\n'$subcommands$'\n' == *$'\n'"$word"$'\n'* ]]; then
            command+=("$word")
            _kestrix_cli_help_of "${command[@]}"
            subcommands=$(_kestrix_cli_subcommands "$_kestrix_cli_help")
        fi
    done

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_kestrix_cli_options "$_kestrix_cli_help")" -- "$cur")
    elif [[ -n $subcommands ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$subcommands" -- "$cur")
    elif declare -F _filedir >/dev/null; then
        _filedir
    else
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}

complete -F _kestrix_cli kestrix-cli
