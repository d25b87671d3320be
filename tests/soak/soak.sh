#!/usr/bin/env bash
# Fault soak: N seeded uploads of random programs of every type over a pseudo-terminal and UDP,
# against the virtual terminal injecting random faults. Every upload must keep three promises:
#   - a reported success left the terminal holding exactly the file's contents;
#   - a failure is reported (the retry question on stderr, exit code 1) within the time the
#     protocol allows for the frames sent and the faults met;
#   - nothing hangs, crashes or trips a sanitizer, on either side.
# A success that the terminal disowns after a duplicated answer datagram (UDP), or after a
# late answer to a BASIC block, is counted apart: answers carry no record or block number, so
# the loader cannot tell them from the real ones.
# usage: tests/soak/soak.sh [--jobs J] [--slow-share S] [--first-seed F] N
#   --jobs        uploads run at once (default 1, at most 2)
#   --slow-share  share of the uploads that may draw the 8-second faults (default 0.1)
#   --first-seed  seed of the first upload (default 1); one seed repeats one upload exactly
# Environment: VORLANTH_BIN (default build/linux/bin); SOAK_KEEP=1 keeps every work folder.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
source tests/process/lib.sh
bin=${VORLANTH_BIN:-build/linux/bin}
generator=tests/soak/make_program.py

jobs=1 slow_share=0.1 first_seed=1
while [[ $# -gt 1 ]]; do
  case $1 in
    --jobs) jobs=$2 ;;
    --slow-share) slow_share=$2 ;;
    --first-seed) first_seed=$2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
count=${1:?usage: soak.sh [--jobs J] [--slow-share S] [--first-seed F] N}
((jobs >= 1 && jobs <= 2)) || { echo "--jobs takes 1 or 2" >&2; exit 2; }

# No "." in the folder: the loader forms the companion name from the first "." of the path.
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlanth-soak-XXXXXX")
mkdir -p "$work/results"
export XDG_CONFIG_HOME=$work/config
export TERMINAL_TIMEOUT=900

# fault_cost KIND: the longest the loader may spend on one such fault, in seconds. Silence
# costs a record 8 s and three 2-s further reads; a line that is no verdict (garbage, a stray
# word) costs up to three further reads.
fault_cost() {
  case $1 in
    silent | late | drop) echo 16 ;;
    garbage | nak | ff | fn) echo 8 ;;
    *) echo 3 ;;
  esac
}

# run_one SEED: one upload; writes one line to results/SEED: the seed, the verdict (success,
# failure or VIOLATION), the loader's and the terminal's exit codes, the time taken and allowed,
# the faults met, and for a violation what was broken.
run_one() {
  local seed=$1 dir=$work/s$seed type link retries terminal_args
  mkdir -p "$dir"
  eval "$(python3 "$generator" plan "$seed" "$slow_share")"
  local program=$dir/prog.$type
  python3 "$generator" "$type" "$seed" "$program"
  local link_args=(--udp 0) args
  [[ $link == pty ]] && link_args=(--link "$dir/com7")
  if ! start_terminal "$dir/term" "${link_args[@]}" --expect "$program" --type "$type" --trace \
    --idle-timeout 300 "${terminal_args[@]}"; then
    echo "$seed VIOLATION - - 0 0 - terminal-did-not-start $type/$link" >"$work/results/$seed"
    return
  fi
  if [[ $link == pty ]]; then
    args="$program,1,7,$((seed % 5 + 1)),$(file_type_number "$type"),1"
  else
    args="$program,3,127.0.0.1,$(ready_udp_port),$(file_type_number "$type"),1"
  fi
  local answers=""
  ((retries > 0)) && answers=$'y\n'
  local started ended code terminal_code
  started=$(date +%s%N)
  VORLANTH_COM7=$dir/com7 timeout 600 "$bin/vorlanth-cli" "$args" <<<"$answers" \
    >"$dir/cli.out" 2>&1
  code=$?
  ended=$(date +%s%N)
  if [[ $code -eq 0 ]]; then
    # A fault on the end record (with --fault-commands) leaves the terminal's session open,
    # though the loader rightly ignores that answer: stop it and take its comparison.
    wait_terminal 3
    terminal_code=$?
    if [[ $terminal_code -eq 124 || $terminal_code -eq 2 ]] &&
      grep -q '\[fault [a-z]*\]$' <(grep 'record S7\|command "END' "$dir/term.err") &&
      grep -q '^vorlanth-termsim: received program matches' "$dir/term.err"; then
      terminal_code=0
    fi
  else
    # A failed upload leaves the terminal waiting for more: stop it (it then exits 2).
    kill "$TERMINAL_PID" 2>/dev/null
    wait_terminal 10
    terminal_code=$?
  fi

  # The time the protocol allows: a base for start-up and the handshakes, a little per frame,
  # the cost of every fault met, the erase wait and the reopening before a retry.
  local frames faults="" kind bound problems=()
  frames=$(grep -c '^termsim: #' "$dir/term.err")
  bound=$((15 + frames / 3 + 6 * retries))
  for kind in $(sed -n 's/.*\[fault \([a-z]*\)\]$/\1/p' "$dir/term.err"); do
    bound=$((bound + $(fault_cost "$kind")))
    faults+="$kind,"
  done
  [[ " ${terminal_args[*]} " == *" --erase-ms 1500 "* ]] && bound=$((bound + 2 * (1 + retries)))
  local elapsed_ms=$(((ended - started) / 1000000))

  [[ $code -eq 124 ]] && problems+=("loader-hung")
  ((code > 128 && code != 124)) && problems+=("loader-crashed-$code")
  [[ $code -ne 0 && $code -ne 1 && $code -ne 124 && $code -le 128 ]] &&
    problems+=("loader-exit-$code")
  [[ $code -eq 0 && $terminal_code -ne 0 ]] && problems+=("success-but-terminal-$terminal_code")
  [[ $code -eq 1 ]] && ! grep -q 'Failed to Upload' "$dir/cli.out" &&
    problems+=("failure-not-reported")
  [[ $code -ne 0 && -z $faults ]] && problems+=("failed-without-fault")
  # A split answer is a whole, right answer in pieces: it alone must never fail an upload.
  [[ $code -ne 0 && -n $faults && -z ${faults//split,/} ]] && problems+=("failed-on-split-answers")
  ((elapsed_ms > bound * 1000)) && problems+=("over-time")
  ((terminal_code > 2)) && problems+=("terminal-exit-$terminal_code")
  grep -qE 'AddressSanitizer|LeakSanitizer|runtime error:' "$dir/cli.out" "$dir/term.err" &&
    problems+=("sanitizer")

  local verdict=success
  [[ $code -ne 0 ]] && verdict=failure
  ((${#problems[@]} > 0)) && verdict=VIOLATION
  # Answers carry no record or block number, so two faults make a false success no loader
  # can tell from a true one: a duplicated answer datagram that arrives after the loader
  # drained its socket passes for the next frame's answer (and the answers run one ahead from
  # there), and a BASIC block answered after the deadline is sent again and taken as the
  # next block. Counted apart, with their work folders kept.
  if [[ ${problems[*]} =~ ^success-but-terminal-(1|124)( terminal-exit-124)?$ ]] &&
    grep -q 'MISMATCH' "$dir/term.err" &&
    [[ $faults == *dup,* || ($type == qbx && $faults == *late,*) ]]; then
    verdict=ambiguous-answer
  fi
  local IFS=,
  echo "$seed $verdict $code $terminal_code $elapsed_ms $((bound * 1000)) ${faults:-none}" \
    "${problems[*]:-} $type/$link ${terminal_args[*]} retries=$retries" >"$work/results/$seed"
  [[ $verdict == VIOLATION || $verdict == ambiguous-answer || -n ${SOAK_KEEP:-} ]] ||
    rm -rf "$dir"
}

started_all=$(date +%s)
running=0
for ((seed = first_seed; seed < first_seed + count; seed++)); do
  if ((running >= jobs)); then
    wait -n
    running=$((running - 1))
  fi
  run_one "$seed" &
  running=$((running + 1))
done
wait
wall=$(($(date +%s) - started_all))

cat "$work/results/"* >"$work/summary"
successes=$(awk '$2 == "success"' "$work/summary" | wc -l)
failures=$(awk '$2 == "failure"' "$work/summary" | wc -l)
violations=$(awk '$2 == "VIOLATION"' "$work/summary" | wc -l)
duplicates=$(awk '$2 == "ambiguous-answer"' "$work/summary" | wc -l)
missing=$((count - successes - failures - violations - duplicates))
echo "soak: $count uploads (seeds $first_seed..$((first_seed + count - 1)), $jobs at once," \
  "slow share $slow_share): $successes succeeded, $failures failed as faults allow," \
  "$violations violations, $duplicates false successes after an ambiguous answer," \
  "$missing without a result; wall time ${wall}s"
awk '$2 == "ambiguous-answer"' "$work/summary"
awk '$2 == "failure" { split($7, k, ","); for (i in k) if (k[i] != "") n[k[i]]++ }
     END { printf "faults in the failed uploads:"; for (f in n) printf " %s=%d", f, n[f]; print "" }' \
  "$work/summary"
awk '{ if ($5 > max) { max = $5; line = $0 } } END { print "longest upload: " line }' "$work/summary"
if ((violations + missing > 0)); then
  echo "violations (seed verdict loader terminal ms allowed-ms faults problems plan):"
  awk '$2 == "VIOLATION"' "$work/summary"
  echo "work folders of the violations kept in $work"
  exit 1
fi
if [[ -n ${SOAK_KEEP:-} || $duplicates -gt 0 ]]; then
  echo "work folders kept in $work"
else
  rm -rf "$work"
fi
exit 0
