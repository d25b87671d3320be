#!/usr/bin/env bash
# The rollout playbook (examples/ansible/fleet.yml) against localhost with a local connection:
# it copies the program and a list of two virtual terminals (one on a pseudo-terminal, one over
# UDP), runs vorlanth-cli --json --fleet, and writes the report. Run twice: every terminal takes
# the program (playbook exit 0, both terminals hold it), then one refuses every record (the
# host fails, exit 2, and the report still says which terminal).
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
# No ansible.cfg of the machine or the user counts here.
printf '[defaults]\n' >"$work/ansible.cfg"
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_CONFIG=$work/ansible.cfg
failures=0
printf '[stores]\nlocalhost ansible_connection=local ansible_python_interpreter=%s\n' \
  "$(command -v python3)" >"$work/inventory"

# rollout NAME WANT_EXIT PTY_TERMINAL_OPTIONS...: two terminals, the playbook, the report.
rollout() {
  local name=$1 want=$2 code
  shift 2
  pids=()
  start_terminal "$work/pty" --link "$work/com21" --expect examples/app.shx --type shx \
    --idle-timeout 60 "$@" || return
  pids+=("$TERMINAL_PID")
  start_terminal "$work/udp" --udp 0 --expect examples/app.shx --type shx --idle-timeout 60 || return
  pids+=("$TERMINAL_PID")
  printf 'app.shx,1,21,1,0,1\napp.shx,3,127.0.0.1,%s,0,1\n' "$(ready_udp_port)" >"$work/list"
  rm -f "$work/report.json"
  timeout 240 ansible-playbook -i "$work/inventory" -c local examples/ansible/fleet.yml \
    -e "{\"programs\": [\"$PWD/examples/app.shx\"], \"fleet_list\": \"$work/list\",
         \"vorlanth_cli\": \"$bin/vorlanth-cli\", \"vorlanth_dir\": \"$work/store\",
         \"vorlanth_environment\": {\"VORLANTH_COM21\": \"$work/com21\"},
         \"vorlanth_options\": \"--retries 0\", \"report\": \"$work/report.json\"}" \
    >"$work/playbook.out" 2>&1
  code=$?
  [[ $code -eq $want ]] || fail "$name: playbook exit $code, wanted $want: $(tail -30 "$work/playbook.out")"
  TERMINAL_PID=${pids[1]}
  wait_terminal 20 || fail "$name: the UDP terminal does not hold the program"
  TERMINAL_PID=${pids[0]}
  if [[ $want -eq 0 ]]; then
    wait_terminal 20 || fail "$name: the serial terminal does not hold the program"
  else
    kill "$TERMINAL_PID" 2>/dev/null
  fi
  python3 - "$work/report.json" "$want" <<'PY' || fail "$name: report: $(cat "$work/report.json" 2>&1)"
import json, sys
report = json.load(open(sys.argv[1]))
fleet = report["localhost"]
assert fleet["event"] == "fleet" and fleet["targets"] == 2, fleet
outcomes = [r["outcome"] for r in fleet["results"]]
if sys.argv[2] == "0":
    assert fleet["exitCode"] == 0 and outcomes == ["uploaded", "uploaded"], fleet
else:
    assert fleet["exitCode"] == 1 and outcomes == ["failed", "uploaded"], fleet
    assert fleet["results"][0]["message"] == "Error on Uploading!", fleet
PY
  echo "seen: $name: playbook exit $code, report $(tr -d ' \n' <"$work/report.json" | head -c 160)..."
}

rollout "every terminal takes the program" 0
rollout "one terminal refuses every record" 2 --fault-rate 1 --fault-kinds ff
grep -q "vorlanth-cli exit 1, *1 of 2 *uploaded" "$work/playbook.out" ||
  fail "the failed host does not say why: $(grep -A3 'FAILED' "$work/playbook.out")"

echo "$failures failed"
[[ $failures -eq 0 ]]
