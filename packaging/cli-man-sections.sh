#!/usr/bin/env bash
# Writes a help2man include file with every subcommand's --help, so that kestrix-cli(1) holds
# what each subcommand does and all its options. Usage: cli-man-sections.sh KESTRIX_CLI OUT
set -euo pipefail
cli=$1
out=$2

# The names listed under "Subcommands:" in a help text.
subcommands() {
  awk '/^Subcommands:$/ { on = 1; next } on && /^  [a-z]/ { print $1; next } { on = 0 }'
}

# A help text as lines of roff that are printed as they are.
verbatim() {
  echo ".nf"
  sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"
  echo ".fi"
}

{
  echo "[SUBCOMMANDS]"
  for command in $("$cli" --help | subcommands); do
    help=$("$cli" "$command" --help)
    echo ".SS $command"
    verbatim <<<"$help"
    for sub in $(subcommands <<<"$help"); do
      echo ".SS $command $sub"
      "$cli" "$command" "$sub" --help | verbatim
    done
  done
  echo "[SEE ALSO]"
  echo "kestrix(1); the manual in /usr/share/doc/kestrix/manual/index.html"
} >"$out"
