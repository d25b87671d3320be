#!/usr/bin/env bash
# The bash completion of vorlanth-cli (packaging/vorlanth-cli.bash): options read from the real
# program's --help, and from a stand-in's help that lists options the real one lacks; each
# field of the argument text (program files by extension, link, COM numbers from --list-ports
# and VORLANTH_COM<n>, baud index, the file type of the extension, mode).
set -uo pipefail
export LC_ALL=C
bin=$(cd "${VORLANTH_BIN:-build/linux/bin}" && pwd)
completion=$PWD/packaging/vorlanth-cli.bash
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A stand-in loader whose help lists options that may come later (one taking a file) and
# whose port list names COM 2 and COM 12.
cat >"$work/stand-in" <<'EOF'
#!/usr/bin/env bash
case $1 in
  --help) printf '%s\n' "Usage: vorlanth-cli [OPTIONS] [PATH,...]" "Options:" \
            "  --help, --version  show this text; the version" \
            "  --check       check the program file only" \
            "  --fleet FILE  upload to every terminal listed in FILE" \
            "  --jobs N      uploads at once" ;;
  --list-ports) printf '%s\n' "/dev/ttyS1                               COM 2    serial port" \
                  "/dev/ttyS11                              COM 12   serial port" \
                  "/dev/ttyUSB0                             set VORLANTH_COM<n>=/dev/ttyUSB0 and pass COM n  USB serial" ;;
esac
EOF
chmod +x "$work/stand-in"
mkdir -p "$work/files/programs"
touch "$work/files/app.shx" "$work/files/APP2.BIN" "$work/files/basic.qbx" "$work/files/notes.txt"

# complete DIR CLI WORD...: the candidates, one a line, for the last WORD typed after CLI.
complete_words() {
  local dir=$1
  shift
  (cd "$dir" && env -u VORLANTH_COM7 bash -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _vorlanth_cli
    printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$completion" "$@")
}

real=$bin/vorlanth-cli
stand_in=$work/stand-in
files=$work/files
# Each case: the folder, the words typed (the program first), and the candidates expected,
# sorted, separated by blanks ("" for none); "+" before them: at least these (the real
# program's options grow).
cases=(
  "$files|$real --|+--help --json --list-ports --trace --version"
  "$files|$real --tr|--trace"
  "$files|$stand_in --|--check --fleet --help --jobs --version"
  "$files|$stand_in --fleet no|notes.txt"
  "$files|$stand_in --jobs |"
  "$files|$stand_in --jobs 2 --ch|--check"
  "$files|$real app.shx,1,3,1,0,1 --|"
  "$files|$real |APP2.BIN, app.shx, basic.qbx, programs/"
  "$files|$real --json a|app.shx,"
  "$files|$real app.shx,|app.shx,1, app.shx,2, app.shx,3,"
  "$files|$stand_in app.shx,1,|app.shx,1,12, app.shx,1,2,"
  "$files|$stand_in app.shx,2,1|app.shx,2,12,"
  "$files|$real app.shx,3,|"
  "$files|$real app.shx,1,3,|app.shx,1,3,1, app.shx,1,3,2, app.shx,1,3,3, app.shx,1,3,4, app.shx,1,3,5,"
  "$files|$real app.shx,3,127.0.0.1,|"
  "$files|$real app.shx,1,3,1,|app.shx,1,3,1,0,"
  "$files|$real basic.qbx,3,127.0.0.1,9000,|basic.qbx,3,127.0.0.1,9000,1,"
  "$files|$real APP2.BIN,1,3,1,|APP2.BIN,1,3,1,2,"
  "$files|$real other.dat,1,3,1,|other.dat,1,3,1,0, other.dat,1,3,1,1, other.dat,1,3,1,2,"
  "$files|$real app.shx,1,3,1,0,|app.shx,1,3,1,0,0 app.shx,1,3,1,0,1"
  "$files|$real app.shx,1,3,1,0,1|app.shx,1,3,1,0,1"
  "$files|$real app.shx,1,3,1,0,1,|"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r dir typed expected <<<"$entry"
  read -r -a words <<<"$typed"
  [[ $typed == *" " ]] && words+=("")
  got=$(complete_words "$dir" "${words[@]}" | paste -sd' ')
  if [[ $expected == +* ]]; then
    for candidate in ${expected#+}; do
      [[ " $got " == *" $candidate "* ]] || fail "${typed#"$bin/"}: no $candidate in \"$got\""
    done
  elif [[ $got != "$expected" ]]; then
    fail "${typed#"$bin/"}: expected \"$expected\", got \"$got\""
  fi
done

# COM numbers also come from the VORLANTH_COM<n> variables of the shell.
got=$(cd "$files" && VORLANTH_COM7=/dev/null bash -c 'source "$1"
  COMP_WORDS=("$2" "app.shx,1,"); COMP_CWORD=1; _vorlanth_cli; printf "%s\n" "${COMPREPLY[@]}"' \
  _ "$completion" "$real")
grep -qx "app.shx,1,7," <<<"$got" || fail "VORLANTH_COM7 gives no COM 7: $got"

echo "$failures failed"
[[ $failures -eq 0 ]]
