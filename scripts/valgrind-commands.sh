#!/usr/bin/env bash
# Runs the command-line commands under valgrind's memcheck against the test simulators, inside the
# headless desktop (it starts one when it is not in one already). A command fails its check on any
# memory error or definite leak, or when it does not do what it should (so the check never passes
# on a path that did nothing). Usage: scripts/valgrind-commands.sh [BUILD_DIR] (default build).
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${QUILLET_DESKTOP:-} != 1 ]]; then
    exec tests/tools/with-desktop.sh "$0" "$@"
fi

build=$(realpath "${1:-build}")
quillet=$build/src/app/quillet
tools=$build/tests/tools
for program in "$quillet" "$tools/chatsim/chatsim" "$tools/speechsim/speechsim"; do
    if [[ ! -x $program ]]; then
        echo "valgrind-commands: $program is missing; build first (scripts/build.sh)" >&2
        exit 2
    fi
done

work=$(mktemp -d /tmp/quillet-valgrind.XXXXXX)
sims=()
cleanup() {
    for p in "${sims[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
export CEREBRAS_API_KEY=valgrind-chat-key SONIOX_API_KEY=valgrind-speech-key
mkdir -p "$XDG_DATA_HOME/Quillet" "$XDG_CONFIG_HOME"

# start_tool VAR PROGRAM ARGS...: starts a simulator and sets VAR to the port it announces.
start_tool() {
    local var=$1 out=$work/$1.out
    shift
    "$@" >"$out" 2>"$out.err" &
    sims+=($!)
    local deadline=$((SECONDS + 30))
    until grep -q '^PORT ' "$out" 2>/dev/null; do
        if ((SECONDS >= deadline)) || ! kill -0 "${sims[-1]}" 2>/dev/null; then
            echo "valgrind-commands: $1 did not start" >&2
            cat "$out.err" >&2
            exit 2
        fi
        sleep 0.1
    done
    printf -v "$var" '%s' "$(sed -n 's/^PORT //p' "$out" | head -1)"
}

start_tool chat_port "$tools/chatsim/chatsim" --content "Rewritten under valgrind."
# Answers after ten minutes: every request to it ends in the client's time-out.
start_tool silent_port "$tools/chatsim/chatsim" --delay-ms 600000
start_tool speech_port "$tools/speechsim/speechsim" --words "draft open ai notes" --ms-per-word 200

chat=(-baseURL.cerebras "http://127.0.0.1:$chat_port/v1")
silent=(-baseURL.cerebras "http://127.0.0.1:$silent_port/v1")
speech=(-sonioxEndpoint "ws://127.0.0.1:$speech_port/transcribe-websocket" -transcribePace 0)

# One second of silence: the speech simulator hears its scripted words in any audio.
sox -q -n -r 16000 -c 1 -b 16 "$work/note.wav" trim 0 1
printf '%s' '[{"id":"2F1C3A4B-5D6E-4F70-8192-A3B4C5D6E7F8","date":786000000,' \
    '"raw":"we use open ai today","text":"We use OpenAI today.","mode":"write","app":"Notes"}]' \
    >"$XDG_DATA_HOME/Quillet/history.json"

failed=()
checks=0
# check NAME EXPECTED-OUTPUT-PATTERN ARGS...: runs quillet ARGS under memcheck; the check passes
# when valgrind found nothing, the command exits 0, and its output matches the pattern.
check() {
    local name=$1 pattern=$2
    shift 2
    local log=$work/$name.valgrind rc=0 started=$SECONDS
    checks=$((checks + 1))
    valgrind --error-exitcode=99 --errors-for-leak-kinds=definite --leak-check=full \
        --show-leak-kinds=definite --num-callers=40 --suppressions=tests/tools/valgrind.supp \
        --log-file="$log" "$quillet" "$@" </dev/null >"$work/$name.out" 2>"$work/$name.err" ||
        rc=$?
    local took=$((SECONDS - started))s
    if ((rc == 99)); then
        echo "valgrind-commands: FAILED $name ($took): memory errors"
        cat "$log"
    elif ((rc != 0)); then
        echo "valgrind-commands: FAILED $name ($took): exit code $rc"
        cat "$work/$name.err" "$log"
    elif ! grep -Eq "$pattern" "$work/$name.out" "$work/$name.err"; then
        echo "valgrind-commands: FAILED $name ($took): output does not match /$pattern/"
        cat "$work/$name.out" "$work/$name.err"
    else
        echo "valgrind-commands: ok $name ($took)"
        return 0
    fi
    failed+=("$name")
}

check vocab-add '^Added' vocab add Kubernetes
check vocab-replace '^Replacing' vocab replace "cuba netties" Kubernetes
check vocab-list 'cuba netties' vocab
check vocab-remove '^Removed' vocab remove "cuba netties"
check history 'We use OpenAI today\.' history
check history-json '"mode": ?"write"' history --json --limit 1
check transcribe '^Rewritten under valgrind\.$' "${speech[@]}" "${chat[@]}" \
    transcribe "$work/note.wav" --mode write --app Notes
check rewrite-timeout 'timed out' "${silent[@]}" rewrite --mode write "we use open ai today"

if ((${#failed[@]})); then
    echo "valgrind-commands: ${#failed[@]} of $checks failed: ${failed[*]}"
    exit 1
fi
echo "valgrind-commands: all $checks passed"
