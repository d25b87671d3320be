#!/usr/bin/env bash
# Checks the packages that scripts/package wrote into DIST (default dist/):
#   .deb     control fields, the files in place, manual pages gzipped, no path of this checkout
#            inside, lintian without an error; unpacked into a temporary root, the programs
#            run, `man -l` shows the pages, the completion loads, and the Ansible collection
#            installs with ansible-galaxy and ansible-doc shows its module
#   .tar.gz  the same files under one top folder; the programs run
#   .zip     the two programs, README and licence; no DLL beside them and none imported
#            outside Windows' own; vorlanth-cli.exe --version under Wine
#   version  project() in CMakeLists.txt, every --version, the manual pages, the .exe version
#            records and manifest, and the package names all say the same version
# usage: tests/package/check_packages.sh [DIST]   (from the repository root)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.." || exit 1
dist=$(realpath "${1:-dist}")
root=$PWD
work=$(mktemp -d)
trap '[[ -n ${KEEP:-} ]] || rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

source tests/process/lib.sh
version=$(project_version)
[[ -n $version ]] || { echo "FAIL: no version in project() of CMakeLists.txt"; exit 1; }
IFS=. read -r major minor <<<"$version"
deb=$dist/vorlanth_${version}_amd64.deb
tarball=$dist/vorlanth-$version-linux-x86_64.tar.gz
zip=$dist/vorlanth-$version-win64.zip
for package in "$deb" "$tarball" "$zip"; do
  [[ -f $package ]] || fail "missing package $package (version $version from project())"
done
((failures == 0)) || { echo "$failures failed"; exit 1; }

# expect_version WHAT TEXT: TEXT names exactly the project's version as a word.
expect_version() {
  grep -qE "(^|[^0-9.])${version//./\\.}([^0-9.]|$)" <<<"$2" || fail "$1 does not say $version: $2"
}

# Files every Linux install holds, relative to its prefix.
installed_files=(
  bin/vorlanth-cli bin/vorlanth-termsim
  share/man/man1/vorlanth-cli.1.gz share/man/man1/vorlanth-termsim.1.gz
  share/doc/vorlanth/README.md share/doc/vorlanth/LICENSE share/doc/vorlanth/CHANGELOG.md
  share/doc/vorlanth/examples/app.shx share/doc/vorlanth/examples/app.bin
  share/doc/vorlanth/examples/app.qbx share/doc/vorlanth/examples/app.ini
  share/doc/vorlanth/examples/ansible/fleet.yml share/doc/vorlanth/examples/ansible/inventory.yml
  share/bash-completion/completions/vorlanth-cli
  share/vorlanth/ansible/vorlanth-loader-$version.0.tar.gz
)

# check_linux_install PREFIX WHAT: the files are there, the programs and pages work.
check_linux_install() {
  local prefix=$1 what=$2 file page out
  for file in "${installed_files[@]}"; do
    [[ -f $prefix/$file ]] || fail "$what: no $file"
  done
  out=$(timeout 10 "$prefix/bin/vorlanth-cli" --version 2>&1) || fail "$what: vorlanth-cli --version failed"
  expect_version "$what vorlanth-cli --version" "$out"
  out=$(timeout 10 "$prefix/bin/vorlanth-termsim" --version 2>&1) || fail "$what: vorlanth-termsim --version failed"
  expect_version "$what vorlanth-termsim --version" "$out"
  for page in vorlanth-cli vorlanth-termsim; do
    gzip -t "$prefix/share/man/man1/$page.1.gz" || fail "$what: $page.1.gz is not gzip"
    out=$(MANWIDTH=80 timeout 20 man -l "$prefix/share/man/man1/$page.1.gz" 2>&1) ||
      fail "$what: man -l $page.1.gz failed: $out"
    grep -q "^NAME" <<<"$out" || fail "$what: man -l $page.1.gz shows no NAME section"
    expect_version "$what man page $page" "$(tail -1 <<<"$out")"
  done
  # The installed completion loads and offers the installed program's options.
  out=$(bash -c 'source "$1"; COMP_WORDS=("$2" --l); COMP_CWORD=1; _vorlanth_cli
                 printf "%s\n" "${COMPREPLY[@]}"' _ \
          "$prefix/share/bash-completion/completions/vorlanth-cli" "$prefix/bin/vorlanth-cli" 2>&1)
  [[ $out == --list-ports ]] || fail "$what: completion of --l gave: $out"
  check_collection "$prefix/share/vorlanth/ansible/vorlanth-loader-$version.0.tar.gz" "$what"
}

# check_collection TARBALL WHAT: the Ansible collection installs from the package into a
# folder of its own, says the project's version, and ansible-doc shows its module.
check_collection() {
  local tarball=$1 what=$2 into out
  into=$(mktemp -d "$work/collections.XXXX")
  out=$(HOME=$into timeout 120 ansible-galaxy collection install -p "$into" "$tarball" 2>&1) ||
    fail "$what: ansible-galaxy collection install failed: $out"
  out=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["collection_info"]["version"])' \
          "$into/ansible_collections/vorlanth/loader/MANIFEST.json" 2>&1)
  [[ $out == "$version.0" ]] || fail "$what: the collection's version is $out, not $version.0"
  out=$(HOME=$into ANSIBLE_COLLECTIONS_PATH=$into timeout 120 ansible-doc vorlanth.loader.vorlanth_fleet 2>&1) ||
    fail "$what: ansible-doc vorlanth.loader.vorlanth_fleet failed: $out"
  grep -q "vorlanth-cli --json --fleet" <<<"$out" || fail "$what: ansible-doc shows no description: $out"
}

echo "== .deb"
info=$(dpkg-deb --info "$deb") || fail "dpkg-deb --info failed"
for field in "Package: vorlanth" "Version: $version" "Architecture: amd64" \
  "Section: electronics" "Description: program loader for portable data terminals"; do
  grep -qx " $field" <<<"$info" || fail "control lacks \"$field\""
done
grep -q "^ Depends: .*libc6 (>= " <<<"$info" || fail "Depends lacks libc6 from dpkg-shlibdeps"
grep -E "^ Depends: .*lib(a|ub|t)san" <<<"$info" && fail "the packaged programs are a sanitizer build"
grep -q "^  Vorlanth loads application programs" <<<"$info" || fail "no long description"
contents=$(dpkg-deb --contents "$deb") || fail "dpkg-deb --contents failed"
for file in "${installed_files[@]}" share/doc/vorlanth/copyright share/doc/vorlanth/changelog.gz; do
  grep -q " \./usr/$file\$" <<<"$contents" || fail ".deb lacks /usr/$file"
done
grep -E ' \./usr/share/man/.*\.[0-9]$' <<<"$contents" && fail "an uncompressed manual page"
grep -vE '^(d|-)r[w-]xr-xr-x root/root|^-rw-r--r-- root/root' <<<"$contents" &&
  fail "files not owned by root with 755/644 modes"
mkdir -p "$work/deb" "$work/control"
dpkg-deb -x "$deb" "$work/deb" || fail "dpkg-deb -x failed"
dpkg-deb -e "$deb" "$work/control" || fail "dpkg-deb -e failed"
paths=$(grep -rlF "$root" "$work/deb" "$work/control")
[[ -z $paths ]] || fail "the checkout's path $root is written in: $paths"
check_linux_install "$work/deb/usr" ".deb"
grep -q "^License: Expat" "$work/deb/usr/share/doc/vorlanth/copyright" || fail "copyright names no licence"
zcat "$work/deb/usr/share/doc/vorlanth/changelog.gz" | head -1 | grep -q "^vorlanth ($version) " ||
  fail "changelog.gz does not start with version $version"
lintian_out=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian reports errors:"$'\n'"$lintian_out"
[[ -z $lintian_out ]] || echo "$lintian_out" | sed 's/^/  lintian: /'

echo "== .tar.gz"
top=vorlanth-$version-linux-x86_64
listing=$(tar -tzf "$tarball") || fail "tar -t failed"
grep -v "^$top/" <<<"$listing" && fail "files outside the top folder $top/"
mkdir -p "$work/tar"
tar -xzf "$tarball" -C "$work/tar" || fail "tar -x failed"
check_linux_install "$work/tar/$top" ".tar.gz"

echo "== .zip"
mkdir -p "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip") || fail "unpacking the zip failed"
windows=$work/zip/vorlanth-$version-win64
for file in vorlanth.exe vorlanth-cli.exe README.md LICENSE.txt; do
  [[ -f $windows/$file ]] || fail ".zip lacks $file"
done
find "$work/zip" -iname '*.dll' | grep . && fail "DLLs in the zip"
# Windows' own DLLs; a MinGW runtime DLL (libstdc++, libgcc, libwinpthread) would not be there.
system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|ws2_32|wsock32|advapi32|shell32|ole32|bcrypt|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
for exe in vorlanth.exe vorlanth-cli.exe; do
  imports=$(x86_64-w64-mingw32-objdump -p "$windows/$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  [[ -n $imports ]] || fail "$exe: objdump -p lists no imports"
  while read -r dll; do
    [[ ${dll,,} =~ $system_dlls ]] || fail "$exe imports $dll, which Windows does not have"
  done <<<"$imports"
done
out=$(cd "$windows" && VORLANTH_WINE_NO_DISPLAY=1 timeout 120 "$root/scripts/wine-run" vorlanth-cli.exe --version </dev/null 2>&1 | tr -d '\r') ||
  fail "vorlanth-cli.exe --version under Wine failed: $out"
expect_version "vorlanth-cli.exe --version" "$out"

echo "== version: $version everywhere"
for exe in vorlanth.exe vorlanth-cli.exe; do
  record=$(x86_64-w64-mingw32-windres -i "$windows/$exe" -O rc 2>&1) || fail "windres cannot read $exe"
  grep -q "^ FILEVERSION $major, $minor, 0, 0\$" <<<"$record" || fail "$exe FILEVERSION is not $major, $minor, 0, 0"
  grep -q "^ PRODUCTVERSION $major, $minor, 0, 0\$" <<<"$record" || fail "$exe PRODUCTVERSION differs"
  for key in FileVersion ProductVersion; do
    grep -q "VALUE \"$key\", \"$version\"\$" <<<"$record" || fail "$exe $key is not \"$version\""
  done
  grep -q 'VALUE "LegalCopyright", "Copyright (c) .*MIT' <<<"$record" || fail "$exe LegalCopyright names no MIT licence"
done
record=$(x86_64-w64-mingw32-windres -i "$windows/vorlanth.exe" -O rc 2>&1)
grep -q "^CAPTION \"Program download  (Ver\. $version)\"\$" <<<"$record" || fail "the dialog caption differs"
grep -q "name=\"\"Vorlanth.Loader\"\" version=\"\"$major\.$minor\.0\.0\"\"" <<<"$record" ||
  fail "the manifest's assemblyIdentity version is not $major.$minor.0.0"

echo "$failures failed"
[[ $failures -eq 0 ]]
