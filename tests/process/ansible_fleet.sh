#!/usr/bin/env bash
# The rollout playbook (examples/ansible/fleet.yml) with the vorlanth.loader collection against
# three store PCs, each a local connection with its own folder and two virtual terminals (one on
# a pseudo-terminal, one over UDP on 127.0.0.1):
#   --check             the terminals see no frame, the stores' folders are not made, every
#                       store reports changed and what would be sent to each terminal;
#   a roll-out          every terminal takes the program, every store reports changed;
#   a refusing terminal one store's serial terminal refuses every record: that store fails, the
#                       others do not, and the report still names the terminal;
#   a wrong digest      every store fails before any terminal sees a frame, each terminal named.
# Then the module alone in check mode with a bad list line (named, nothing sent), and
# ansible-doc of the module.
set -uo pipefail
source tests/process/lib.sh
bin=$(cd "${VORLANTH_BIN:-build/linux/bin}" && pwd)
if ! command -v ansible-playbook >/dev/null; then
  echo "SKIP: ansible-playbook is missing (scripts/setup installs ansible-core)"
  exit 0
fi
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config ANSIBLE_LOCAL_TEMP=$work/ansible ANSIBLE_REMOTE_TEMP=$work/ansible
# No ansible.cfg of the machine or the user counts here; the collection comes from this checkout.
printf '[defaults]\n' >"$work/ansible.cfg"
mkdir -p "$work/collections/ansible_collections/vorlanth"
ln -s "$PWD/ansible/vorlanth/loader" "$work/collections/ansible_collections/vorlanth/loader"
# The check's scratch folders (ansible.builtin.tempfile) go to $work/tmp.
mkdir -p "$work/tmp"
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_CONFIG=$work/ansible.cfg \
  ANSIBLE_COLLECTIONS_PATH=$work/collections PYTHONDONTWRITEBYTECODE=1 TMPDIR=$work/tmp
failures=0
stores=(store-a store-b store-c)

# start_stores [REFUSING_STORE]: two terminals a store (COM2n on a pseudo-terminal, one on UDP)
# and an inventory naming them (store-b's in a list file); the serial terminal of REFUSING_STORE
# refuses every record.
start_stores() {
  local refusing=${1:-} n=0 store faults
  pids=()
  printf 'stores:\n  hosts:\n' >"$work/inventory.yml"
  for store in "${stores[@]}"; do
    n=$((n + 1))
    faults=()
    [[ $store == "$refusing" ]] && faults=(--fault-rate 1 --fault-kinds ff)
    start_terminal "$work/$store-pty" --link "$work/$store-com" --expect examples/app.shx \
      --type shx --idle-timeout 60 "${faults[@]}" || return 1
    pids+=("$TERMINAL_PID")
    start_terminal "$work/$store-udp" --udp 0 --expect examples/app.shx --type shx --idle-timeout 60 ||
      return 1
    pids+=("$TERMINAL_PID")
    cat >>"$work/inventory.yml" <<EOF
    $store:
      ansible_connection: local
      ansible_python_interpreter: /usr/bin/python3
      vorlanth_dir: $work/$store
      vorlanth_environment: {VORLANTH_COM2$n: $work/$store-com}
EOF
    # store-b names its terminals in a list file on this machine, the others in the inventory.
    if [[ $store == store-b ]]; then
      printf '# store b\napp.shx,1,2%s,1,0,1\napp.shx,3,127.0.0.1,%s,0,1\n' "$n" "$(ready_udp_port)" \
        >"$work/$store.txt"
      echo "      fleet_list: $work/$store.txt" >>"$work/inventory.yml"
    else
      echo "      terminals: [\"app.shx,1,2$n,1,0,1\", \"app.shx,3,127.0.0.1,$(ready_udp_port),0,1\"]" \
        >>"$work/inventory.yml"
    fi
  done
}

# play NAME WANT_EXIT [OPTIONS...]: the playbook over the three stores; its output in
# $work/NAME.out, the report in $work/NAME.json.
play() {
  local name=$1 want=$2 code
  shift 2
  timeout 240 ansible-playbook -i "$work/inventory.yml" examples/ansible/fleet.yml "$@" \
    -e "{\"programs\": [\"$PWD/examples/app.shx\"], \"vorlanth_cli\": \"$bin/vorlanth-cli\",
         \"vorlanth_retries\": 0, \"report\": \"$work/$name.json\"}" >"$work/$name.out" 2>&1
  code=$?
  [[ $code -eq $want ]] || fail "$name: playbook exit $code, wanted $want: $(tail -40 "$work/$name.out")"
}

# recap NAME STORE: the store's line of the play recap.
recap() { grep -E "^$2 +:" "$work/$1.out"; }

# upload_task NAME: what the upload task said of each store ("changed: [store-a]", ...).
upload_task() { sed -n '/^TASK \[Upload to every terminal/,/^TASK /p' "$work/$1.out" | grep -E '^[a-z]+:'; }
# said_of_store NAME WORD STORE: whether the upload task said WORD of STORE ("changed"). Matched
# in a here-string: "grep -q" at the end of a pipe stops reading early, and with pipefail the
# writer's broken pipe would fail the test once -v output passes a pipe's buffer.
said_of_store() { grep -q "^$2: \[$3\]" <<<"$(upload_task "$1")"; }

# report NAME PYTHON: asserts PYTHON about the report (stores: the parsed JSON).
report() {
  python3 - "$work/$1.json" "$2" <<'PY' || fail "$1: report: $(cat "$work/$1.json" 2>&1)"
import json, sys
stores = json.load(open(sys.argv[1]))
exec(sys.argv[2])
PY
}

# stop_terminals: ends the terminals still running.
stop_terminals() {
  kill "${pids[@]}" 2>/dev/null
  wait "${pids[@]}" 2>/dev/null
  pids=()
}

# no_frames LABEL STORE: fails unless neither of the store's terminals saw a frame.
no_frames() {
  for link in pty udp; do
    grep -q "frames 0 " "$work/$2-$link.err" ||
      fail "$1: the $2 $link terminal was reached: $(cat "$work/$2-$link.err")"
  done
}

# Check mode: nothing reaches a terminal, nothing stays on the stores, what would be sent is said.
start_stores || exit 1
play check 0 --check -v
stop_terminals
for store in "${stores[@]}"; do
  no_frames check "$store"
  [[ -e $work/$store ]] && fail "check: $store's folder was made"
  said_of_store check changed "$store" || fail "check: $store: $(upload_task check)"
  recap check "$store" | grep -q "failed=0" || fail "check: recap $(recap check "$store")"
done
# Nothing but the upload (and on the first store the report on this machine) says changed.
recap check store-b | grep -q "changed=1 " || fail "check: staging said changed: $(recap check store-b)"
grep -q "\"path\": \"$work/tmp/[^\"]*\.vorlanth-check\"" "$work/check.out" ||
  fail "check: no scratch folder in $work/tmp: $(grep -m3 vorlanth-check "$work/check.out")"
[[ -z $(find "$work/tmp" -name '*.vorlanth-check') ]] || fail "check: a scratch folder was left"
report check '
assert sorted(stores) == ["store-a", "store-b", "store-c"], stores
for name, store in stores.items():
    assert store["check_mode"] and store["changed"] and not store["failed"], (name, store)
    terminals = store["terminals"]
    assert [t["status"] for t in terminals] == ["would upload"] * 2, terminals
    assert [t["line"] for t in terminals] == ([2, 3] if name == "store-b" else [1, 2]), terminals
    for t in terminals:
        assert t["program"] == "app.shx" and t["bytes"] == 2148, t
        assert t["message"] == "would send app.shx: 2148 data bytes in 34 records", t
        assert not t["written"] and t["attempts"] == 0, t
        assert t["sha256"] == "'"$(sha256sum examples/app.shx | cut -c1-64)"'", t
'
echo "seen: --check: no frame at any of 6 terminals, $(recap check store-a | tr -s ' ')"

# Every terminal takes the program.
start_stores || exit 1
play rollout 0
for pid in "${pids[@]}"; do
  TERMINAL_PID=$pid
  wait_terminal 20 || fail "rollout: a terminal does not hold the program"
done
pids=()
for store in "${stores[@]}"; do
  said_of_store rollout changed "$store" || fail "rollout: $store: $(upload_task rollout)"
  recap rollout "$store" | grep -q "failed=0" || fail "rollout: recap $(recap rollout "$store")"
done
report rollout '
for name, store in stores.items():
    assert not store["check_mode"] and store["changed"] and not store["failed"], (name, store)
    assert store["summary"] == {"targets": 2, "succeeded": 2, "failed": 0}, store
    for t in store["terminals"]:
        assert t["status"] == "uploaded" and t["written"] and t["attempts"] == 1, t
        assert t["message"] == "Uploaded successfully!" and t["bytes"] == 5442, t
        assert t["exit_code"] == 0 and t["seconds"] > 0, t
        assert t["sha256"] == "'"$(sha256sum examples/app.shx | cut -c1-64)"'", t
'
echo "seen: rollout: 6 terminals hold the program, $(recap rollout store-b | tr -s ' ')"

# One store's serial terminal refuses every record: that store fails, the report names it.
start_stores store-c || exit 1
play refused 2
for i in 0 1 2 3 5; do
  TERMINAL_PID=${pids[i]}
  wait_terminal 20 || fail "refused: terminal $i does not hold the program"
done
stop_terminals
recap refused store-a | grep -q "failed=0" && recap refused store-c | grep -q "failed=1" ||
  fail "refused: recap $(recap refused store-a) / $(recap refused store-c)"
grep -q "store-c: 1 of 2 terminals took the program; not: #1 app.shx,1,23,1,0,1 (failed: Error on Uploading!)" \
  "$work/refused.out" || fail "refused: the failed store does not say why: $(grep -A3 FAILED "$work/refused.out")"
report refused '
assert not stores["store-a"]["failed"] and not stores["store-b"]["failed"], stores
store = stores["store-c"]
assert store["failed"] and store["changed"], store
refused, taken = store["terminals"]
assert refused["target"] == "app.shx,1,23,1,0,1" and refused["status"] == "failed", refused
assert refused["message"] == "Error on Uploading!" and refused["written"], refused
assert refused["exit_code"] == 1 and refused["attempts"] == 1, refused
assert taken["status"] == "uploaded", taken
'
echo "seen: refused: store-c failed, its report names $(grep -o '"target": "app.shx,1,23[^"]*"' "$work/refused.json")"

# A wrong expected digest: every store's list check refuses its lines before any frame, every
# store fails unchanged, and the report names each terminal with the loader's message.
start_stores || exit 1
play wrongsha 2 -e "vorlanth_sha256=$(sha256sum examples/app.bin | cut -c1-64)"
stop_terminals
for store in "${stores[@]}"; do
  no_frames "wrong digest" "$store"
  recap wrongsha "$store" | grep -q "failed=1" || fail "wrong digest: recap $(recap wrongsha "$store")"
done
# The upload changed nothing (on the first store the report on this machine says changed).
recap wrongsha store-b | grep -q "changed=0 " || fail "wrong digest: $(recap wrongsha store-b)"
report wrongsha '
for name, store in stores.items():
    assert store["failed"] and not store["changed"], (name, store)
    assert "nothing was uploaded" in store["msg"], store
    for t in store["terminals"]:
        assert t["status"] == "bad line" and t["message"] == "SHA-256 mismatch!", t
        assert "not the expected" in t["detail"] and not t["written"], t
'
echo "seen: wrong digest: no frame at any of 6 terminals, $(recap wrongsha store-a | tr -s ' ')"

# The module alone, in check mode, with a line the loader refuses: the line is named with the
# loader's message, the host fails and the good line's terminal sees no frame.
start_terminal "$work/alone" --udp 0 --idle-timeout 60 || exit 1
pids=("$TERMINAL_PID")
timeout 120 ansible all -i "$work/inventory.yml" -l store-a --check -m vorlanth.loader.vorlanth_fleet \
  -a "{\"vorlanth_cli\": \"$bin/vorlanth-cli\", \"chdir\": \"$PWD/examples\",
       \"targets\": [\"# the store's terminals\", \"app.shx,3,127.0.0.1,$(ready_udp_port),0,1\",
                     \"app.shx,1,0,1,0,1\"]}" >"$work/alone.out" 2>&1
code=$?
stop_terminals
grep -q "frames 0 " "$work/alone.err" || fail "bad line: the terminal was reached: $(cat "$work/alone.err")"
[[ $code -eq 2 ]] && grep -q '"msg": "the check found 1 problem(s), nothing would be uploaded: #3 app.shx,1,0,1,0,1: Wrong COM port specified!"' \
  "$work/alone.out" && grep -q '"status": "would upload"' "$work/alone.out" ||
  fail "bad line: exit $code: $(cat "$work/alone.out")"
echo "seen: a bad line in check mode: exit $code, $(grep -o '"msg": "[^"]*"' "$work/alone.out")"

# The module's documentation.
out=$(timeout 60 ansible-doc vorlanth.loader.vorlanth_fleet 2>&1)
code=$?
[[ $code -eq 0 ]] && grep -q "check_mode" <<<"$out" && grep -q "expected_sha256" <<<"$out" &&
  grep -q "RETURN VALUES" <<<"$out" || fail "ansible-doc: exit $code: $(head -20 <<<"$out")"

echo "$failures failed"
[[ $failures -eq 0 ]]
