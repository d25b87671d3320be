#!/usr/bin/env bash
# Things that are not regular files where vorlanth-cli expects a program file, a BASIC
# program's companion, its settings file or the environment file: a FIFO (whose open would otherwise wait for a writer for ever), a
# directory, /dev/null, a socket and a loop of symbolic links. Each is refused within 1 s: a
# program file or companion with exit 3, the role's message and a second line naming the file
# and what it is; a settings or environment file counts as missing (its presets), and the run
# goes on as without it.
set -uo pipefail
source tests/process/lib.sh
bin=${VORLANTH_BIN:-build/linux/bin}
# No dot in the folder: the companion is named from the first "." of the program path.
work=$(mktemp -d /tmp/vorlanth-special-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
failures=0

mkdir "$work/special"
mkfifo "$work/special/fifo"
mkdir "$work/special/directory"
python3 -c "import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])" "$work/special/socket"
ln -s loop.b "$work/special/loop.a"
ln -s loop.a "$work/special/loop.b"

# kind path cause
specials=(
  "fifo|$work/special/fifo|not a regular file: a FIFO"
  "directory|$work/special/directory|not a regular file: a directory"
  "/dev/null|/dev/null|not a regular file: a character device"
  "socket|$work/special/socket|not a regular file: a socket"
  "symlink loop|$work/special/loop.a|cannot open (Too many levels of symbolic links)"
)

# refused ROLE KIND ARGUMENT_TEXT MESSAGE OBJECT CAUSE: the loader must end within 1 s.
refused() {
  local role=$1 kind=$2 arguments=$3 message=$4 object=$5 cause=$6 start code elapsed
  start=$(now_ms)
  timeout 10 "$bin/vorlanth-cli" "$arguments" >"$work/out" 2>"$work/err" </dev/null
  code=$?
  elapsed=$(($(now_ms) - start))
  [[ $code -eq 3 ]] || fail "$kind as the $role: exit $code ($elapsed ms)"
  [[ $elapsed -lt 1000 ]] || fail "$kind as the $role: took $elapsed ms"
  grep -qxF "vorlanth: $message" "$work/err" || fail "$kind as the $role: $(cat "$work/err")"
  grep -qxF "vorlanth: $object: $cause" "$work/err" ||
    fail "$kind as the $role: no cause line: $(cat "$work/err")"
  echo "seen: $kind as the $role: exit $code in $elapsed ms"
}

for entry in "${specials[@]}"; do
  IFS='|' read -r kind path cause <<<"$entry"
  # The program file, of each type (no link is opened: COM 9 need not exist).
  for type in 0 1 2; do
    refused "program file (type $type)" "$kind" "$path,1,9,1,$type,1" "Can't open the file!" \
      "$path" "$cause"
  done
  # The companion of a BASIC program: app.ini beside app.qbx is the special file.
  rm -rf "$work/companion"
  mkdir "$work/companion"
  cp examples/app.qbx "$work/companion/app.qbx"
  ln -s "$path" "$work/companion/app.ini"
  refused "companion" "$kind" "$work/companion/app.qbx,1,9,1,1,1" \
    "Can't open the initial setting file (*.INI)!" "$work/companion/app.ini" "$cause"
done

# ends_within_1s ROLE KIND EXPECTED_CODE ARGUMENTS...: the loader ends with the code in time.
ends_within_1s() {
  local role=$1 kind=$2 expected=$3 start code elapsed
  shift 3
  start=$(now_ms)
  timeout 10 "$bin/vorlanth-cli" "$@" >/dev/null 2>"$work/err" </dev/null
  code=$?
  elapsed=$(($(now_ms) - start))
  [[ $code -eq $expected ]] || fail "$kind as the $role: exit $code ($elapsed ms): $(cat "$work/err")"
  [[ $elapsed -lt 1000 ]] || fail "$kind as the $role: took $elapsed ms"
  echo "seen: $kind as the $role: exit $code in $elapsed ms"
}

# The environment file is read at every start, even of a full automatic command line (whose
# missing program then ends the run with 3); the settings file at a start without one (which,
# without a terminal, ends with the usage and 2).
mkdir -p "$work/config/vorlanth"
for entry in "${specials[@]}"; do
  IFS='|' read -r kind path _ <<<"$entry"
  ln -sfn "$path" "$work/config/Kestmor.ini"
  ends_within_1s "environment file" "$kind" 3 "$work/none.shx,1,9,1,0,1"
  rm -f "$work/config/Kestmor.ini"
  ln -sfn "$path" "$work/config/vorlanth/Vorlanth.ini"
  ends_within_1s "settings file" "$kind" 2
  rm -f "$work/config/vorlanth/Vorlanth.ini"
done

echo "$failures failed"
[[ $failures -eq 0 ]]
