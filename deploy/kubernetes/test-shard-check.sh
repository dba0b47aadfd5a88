#!/bin/sh
# Checks the StatefulSet of kestrix-watch.yaml as a pod would run it: the start command is taken
# from the manifest itself and run by /bin/sh with a stand-in kestrix-cli that records its
# arguments, for pods inside and outside the shard count. Also checks that the manifest's replicas
# and KESTRIX_SHARDS agree and, where kubectl or kustomize is installed, that `count` in
# kustomization.yaml sets both. Needs python3 with PyYAML (Debian: python3-yaml).
#
#   sh deploy/kubernetes/test-shard-check.sh
set -u
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAILED: $1"; }

# The watch container of the StatefulSet in a rendered manifest: writes replicas, KESTRIX_SHARDS,
# the shell snippet and the arguments (one a line) to files named after $2.
extract() {
    python3 - "$1" "$2" <<'EOF' || return 1
import sys, yaml
docs = [d for d in yaml.safe_load_all(open(sys.argv[1])) if d]
sts = [d for d in docs if d.get("kind") == "StatefulSet"]
assert len(sts) == 1, "one StatefulSet expected"
spec = sts[0]["spec"]
container = [c for c in spec["template"]["spec"]["containers"] if c["name"] == "watch"][0]
shards = [e for e in container["env"] if e["name"] == "KESTRIX_SHARDS"][0]["value"]
assert isinstance(shards, str), "KESTRIX_SHARDS must be a string, not %r" % (shards,)
command = container["command"]
assert command[:2] == ["/bin/sh", "-c"] and len(command) == 4, command
out = sys.argv[2]
open(out + ".replicas", "w").write("%d\n" % spec["replicas"])
open(out + ".shards", "w").write(shards + "\n")
open(out + ".snippet", "w").write(command[2])
open(out + ".args", "w").write("".join(str(a) + "\n" for a in container["args"]))
EOF
}

if ! extract "$here/kestrix-watch.yaml" "$work/plain"; then
    echo "FAILED: kestrix-watch.yaml does not parse as the StatefulSet expected"
    echo "0 passed, 1 failed"
    exit 1
fi
pass "kestrix-watch.yaml parses"

replicas=$(cat "$work/plain.replicas")
shards=$(cat "$work/plain.shards")
if [ "$replicas" = "$shards" ]; then
    pass "replicas ($replicas) = KESTRIX_SHARDS"
else
    fail "replicas is $replicas but KESTRIX_SHARDS is $shards"
fi

# The kubelet expands $(NAME) in a command by itself, before the shell sees it.
# shellcheck disable=SC2016 # "$(" is meant literally
if grep -q '\$(' "$work/plain.snippet"; then
    fail 'the start command holds "$(", which the kubelet would expand'
else
    pass 'the start command holds no "$("'
fi

# A stand-in for kestrix-cli that writes its arguments, one a line.
mkdir "$work/bin"
cat >"$work/bin/kestrix-cli" <<'EOF'
#!/bin/sh
printf '%s\n' "$@" >"$KESTRIX_TEST_OUT"
EOF
chmod +x "$work/bin/kestrix-cli"

# run POD_NAME KESTRIX_SHARDS: runs the snippet as the pod does; its stderr goes to $work/err,
# the arguments that kestrix-cli received to $work/out.
run() {
    rm -f "$work/out"
    set -f
    old_ifs=$IFS
    IFS='
'
    # shellcheck disable=SC2046 # one argument a line
    set -- "$1" "$2" $(cat "$work/plain.args")
    IFS=$old_ifs
    set +f
    pod=$1 count=$2
    shift 2
    env -i PATH="$work/bin:/usr/bin:/bin" KESTRIX_TEST_OUT="$work/out" \
        POD_NAME="$pod" KESTRIX_SHARDS="$count" \
        /bin/sh -c "$(cat "$work/plain.snippet")" kestrix-watch "$@" 2>"$work/err"
}

# starts POD COUNT SHARD: the pod runs `kestrix-cli watch --shard SHARD` with the manifest's options.
starts() {
    if ! run "$1" "$2"; then
        fail "$1 of $2 did not start: $(cat "$work/err")"
        return
    fi
    { echo watch; echo --shard; echo "$3"; cat "$work/plain.args"; } >"$work/expected"
    if cmp -s "$work/expected" "$work/out"; then
        pass "$1 of $2 watches shard $3"
    else
        fail "$1 of $2 ran kestrix-cli $(tr '\n' ' ' <"$work/out" 2>/dev/null)"
    fi
}

# refuses POD COUNT WORDS: the pod exits non-zero without running kestrix-cli, and its log line
# holds WORDS.
refuses() {
    if run "$1" "$2"; then
        fail "$1 of '$2' started"
    elif [ -e "$work/out" ]; then
        fail "$1 of '$2' ran kestrix-cli"
    elif ! grep -q "$3" "$work/err"; then
        fail "$1 of '$2' said: $(cat "$work/err")"
    else
        pass "$1 of '$2' refuses: $(cat "$work/err")"
    fi
}

starts kestrix-watch-0 3 0/3
starts kestrix-watch-2 3 2/3
starts kestrix-watch-0 1 0/1
starts kestrix-watch-11 12 11/12
starts my-kestrix-watch-7 8 7/8
refuses kestrix-watch-3 3 "has ordinal 3, but the links are cut into 3 shards"
refuses kestrix-watch-10 3 "has ordinal 10, but the links are cut into 3 shards"
refuses kestrix-watch-0 0 "KESTRIX_SHARDS must be at least 1"
refuses kestrix-watch-0 00 "KESTRIX_SHARDS must be at least 1"
refuses kestrix-watch-0 "" "KESTRIX_SHARDS must be the number of shards"
refuses kestrix-watch-0 "3 " "KESTRIX_SHARDS must be the number of shards"
refuses kestrix-watch-0 -1 "KESTRIX_SHARDS must be the number of shards"
refuses kestrix-watch-0 99999999999999999999 "KESTRIX_SHARDS must be the number of shards"
refuses kestrix-watch "3" "cannot read a pod ordinal"
refuses kestrix-watch-x "3" "cannot read a pod ordinal"
refuses "" "3" "cannot read a pod ordinal"

# The one value: `count` in kustomization.yaml sets replicas and KESTRIX_SHARDS together.
render=""
if command -v kustomize >/dev/null 2>&1; then
    render="kustomize build"
elif command -v kubectl >/dev/null 2>&1; then
    render="kubectl kustomize"
fi
if [ -z "$render" ]; then
    echo "skipped: neither kustomize nor kubectl is installed, kustomization.yaml is not rendered"
else
    mkdir "$work/k"
    cp "$here/kestrix-watch.yaml" "$here/kustomization.yaml" "$work/k/"
    sed -i 's/^\(    count:\) .*/\1 5/' "$work/k/kustomization.yaml"
    if ! grep -q '^    count: 5$' "$work/k/kustomization.yaml"; then
        fail "no 'count:' line to change in kustomization.yaml"
    elif ! $render "$work/k" >"$work/rendered.yaml" 2>"$work/err"; then
        fail "$render: $(cat "$work/err")"
    elif ! extract "$work/rendered.yaml" "$work/k5"; then
        fail "the rendered manifest does not parse as the StatefulSet expected"
    elif [ "$(cat "$work/k5.replicas") $(cat "$work/k5.shards")" != "5 5" ]; then
        fail "count 5 gave replicas $(cat "$work/k5.replicas"), KESTRIX_SHARDS $(cat "$work/k5.shards")"
    else
        pass "count: 5 in kustomization.yaml gives replicas 5 and KESTRIX_SHARDS \"5\" ($render)"
    fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
