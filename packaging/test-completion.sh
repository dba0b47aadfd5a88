#!/usr/bin/env bash
# Tests the bash completion of kestrix-cli (kestrix-cli.bash beside this script).
#   test-completion.sh              against a stand-in program that prints help in the program's
#                                   format, covering every rule of the completion
#   test-completion.sh KESTRIX_CLI  against the real program: a subcommand and an option complete
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
# expect "WANTED..." WORD... : completing the last WORD offers exactly WANTED (in any order).
expect() {
    local wanted got
    local -a words
    read -ra words <<<"$1"
    wanted=$(printf '%s\n' "${words[@]}" | sort | xargs)
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _kestrix_cli
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [[ $got == "$wanted" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: '$*': wanted [$wanted], got [$got]"
    fi
}

# shellcheck source=kestrix-cli.bash
source "$here/kestrix-cli.bash"

if [[ $# -ge 1 ]]; then
    cli=$1
    expect "resize" "$cli" res
    expect "--filter" "$cli" resize --fi
    echo "$passed passed, $failed failed"
    ((failed == 0))
    exit
fi

# The stand-in: the help of the program, its subcommands and sub-subcommands as CLI11 prints it,
# with wrapped descriptions, aligned short options, flags with defaults and an option group.
mkdir "$work/bin"
cat >"$work/bin/kestrix-cli" <<'PROGRAM'
#!/usr/bin/env bash
echo "$*" >>"$KESTRIX_FAKE_LOG"
case "$*" in
"--help") cat <<'HELP' ;;
Kestrix command-line tool
Usage: kestrix-cli [OPTIONS] SUBCOMMAND

Options:
  -h,--help                   Print this help message and exit
  --version                   Display program version information and exit

Subcommands:
  adjust                      Brightness, contrast and gamma
  fetch                       Fetch an address
  frames                      Work on frames files
  gif                         Write an animated GIF
  links                       Work on link files
  resize                      Resize a picture
HELP
"resize --help") cat <<'HELP' ;;
Resize a picture
Usage: kestrix-cli resize [OPTIONS] IN OUT WIDTH HEIGHT

Positionals:
  IN TEXT REQUIRED            Input picture
  OUT TEXT REQUIRED           Output BMP file

Options:
  -h,--help                   Print this help message and exit
  --filter TEXT:{box,triangle,hermite,bell,bspline,mitchell,lanczos3}=lanczos3
                              Resampling filter
HELP
"frames --help") cat <<'HELP' ;;
Work on frames files
Usage: kestrix-cli frames [OPTIONS] SUBCOMMAND

Options:
  -h,--help                   Print this help message and exit

Subcommands:
  pack                        Store images in a frames file
  unpack                      Write every frame as a BMP file
  info                        The frame count and each frame's size
  flaws                       List or delete flawed frames
  dups                        List or delete duplicate frames
  average                     The mean of all frames, as "Average All
                              Frames" makes it
HELP
"frames flaws --help") cat <<'HELP' ;;
List or delete flawed frames
Usage: kestrix-cli frames flaws [OPTIONS] IN

Options:
  -h,     --help              Print this help message and exit
          --threshold FLOAT=0.07
                              Share of differing pixels
          --no-black{false}   Black frames are not flaws
          --delete TEXT       Save the other frames to this file
HELP
"frames pack --help" | "links print --help") cat <<'HELP' ;;
Usage: kestrix-cli SUBCOMMAND [OPTIONS] ARGS

Options:
  -h,--help                   Print this help message and exit
HELP
"links --help") cat <<'HELP' ;;
Work on link files
Usage: kestrix-cli links [OPTIONS] SUBCOMMAND

Options:
  -h,--help                   Print this help message and exit

Subcommands:
  print                       Print a link file's tree
  save                        Load a link file and save it again
HELP
"gif --help") cat <<'HELP' ;;
Write an animated GIF
Usage: kestrix-cli gif [OPTIONS] OUT INPUT...

Options:
  -h,--help                   Print this help message and exit
  --fps FLOAT=10              Frames per second
HELP
"fetch --help") cat <<'HELP' ;;
Fetch an address
Usage: kestrix-cli fetch [OPTIONS] URL

Options:
  -h,--help                   Print this help message and exit
  -o,--output TEXT            Write the body to this file

[Option Group: Connection]
Connection:
  --https                     Allow https addresses
  --pin TEXT ...              Accept certificates with these fingerprints
HELP
*) exit 109 ;;
esac
PROGRAM
chmod +x "$work/bin/kestrix-cli"
export PATH="$work/bin:$PATH" KESTRIX_FAKE_LOG="$work/help.log"
mkdir "$work/files" "$work/files/shots"
touch "$work/files/cam.jpg" "$work/files/cam2.jpg"
cd "$work/files" || exit 1

# Subcommand names at the first position.
expect "adjust fetch frames gif links resize" kestrix-cli ""
expect "resize" kestrix-cli res
expect "frames fetch" kestrix-cli f

# Sub-subcommand names after a subcommand that has them; a wrapped description is not a name.
expect "pack unpack info flaws dups average" kestrix-cli frames ""
expect "unpack" kestrix-cli frames u
expect "print save" kestrix-cli links ""

# Options of the deepest (sub)subcommand named so far, whatever the help line looks like.
expect "-h --help --version" kestrix-cli -
expect "--filter" kestrix-cli resize in.jpg out.bmp --fi
expect "--help --filter" kestrix-cli resize --
expect "-h --help" kestrix-cli frames -
expect "-h --help --threshold --no-black --delete" kestrix-cli frames flaws in.ifrm -
expect "--help" kestrix-cli frames pack out.ifrm --
expect "--help --output --https --pin" kestrix-cli fetch --output cam.jpg --
expect "--fps" kestrix-cli gif out.gif resize --f
expect "" kestrix-cli adjust --

# File names where no subcommand is expected, also when a file is named like a subcommand.
expect "cam.jpg cam2.jpg" kestrix-cli resize ca
expect "shots" kestrix-cli frames pack out.ifrm sh
expect "cam.jpg cam2.jpg shots" kestrix-cli gif resize ""

# Each (sub)command's help is asked for once in a session, however often it is completed.
asked=$(sort "$KESTRIX_FAKE_LOG" | uniq -d)
if [[ -n $asked ]]; then
    failed=$((failed + 1))
    echo "FAIL: help asked for more than once: $asked"
else
    passed=$((passed + 1))
fi

echo "$passed passed, $failed failed"
((failed == 0))
