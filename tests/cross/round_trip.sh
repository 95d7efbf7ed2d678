#!/usr/bin/env bash
# The Linux and the Windows build agree: the same tree packed by each gives
# byte-identical catalogs in both formats, and each build extracts the
# other's catalogs into identical trees (bytes and modification times).
# Usage: round_trip.sh LINUX_CATPACK WINDOWS_CATPACK_EXE WINE_LOADER WINEPREFIX
set -euo pipefail
linux=$(realpath "$1")
windows=$(realpath "$2")
loader=$3
export WINEPREFIX=$(realpath "$4") WINEDEBUG=-all

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Plain ASCII names: the two file systems hold other bytes differently.
mkdir -p tree/docs/deep tree/images tree/empty-folder
printf 'readme\n' > tree/readme.txt
printf 'line one\r\nline two\n' > tree/docs/notes.txt
head -c 300000 /dev/urandom > tree/images/photo.bin
: > tree/docs/deep/empty.txt
head -c 70000 /dev/urandom > "tree/docs/deep/with space.dat"
touch -d @1000000000 tree/readme.txt
touch -d @1700000000 tree/docs/notes.txt
touch -d @4000000000 tree/images/photo.bin
touch -d @86400 tree/docs/deep/empty.txt
touch -d @1234567890 "tree/docs/deep/with space.dat"

on_linux() { "$linux" "$@" > /dev/null; }
on_windows() { "$loader" "$windows" "$@" > /dev/null; }

# A listing of every file below a folder: time, size, digest and name.
describe() {
  (cd "$1" && find . -type f -printf '%P\n' | sort | while IFS= read -r name; do
    printf '%s %s %s %s\n' "$(stat -c %Y "$name")" "$(stat -c %s "$name")" \
      "$(md5sum < "$name" | cut -c1-32)" "$name"
  done)
}

failed=0
same() {
  if cmp -s "$1" "$2"; then
    echo "same: $1 $2"
  else
    echo "DIFFERENT: $1 $2"
    failed=1
  fi
}

for build in linux windows; do
  on_$build -in tree -out $build.cat
  on_$build -in tree -zarn3cat -out $build-old.cat
done
for extension in cat dat; do
  same linux.$extension windows.$extension
  same linux-old.$extension windows-old.$extension
done

# Each build extracts the other's catalogs.
for pair in linux:windows windows:linux; do
  reader=${pair%%:*}
  writer=${pair##*:}
  for format in "" -old; do
    mkdir "$reader-from-$writer$format"
    on_$reader -in "$writer$format.cat" -out "$reader-from-$writer$format"
  done
done
describe tree > tree.list
describe linux-from-windows > linux-from-windows.list
describe windows-from-linux > windows-from-linux.list
same tree.list linux-from-windows.list
same tree.list windows-from-linux.list
# The old format keeps no times: both builds give the same bytes and time 0.
describe linux-from-windows-old > linux-from-windows-old.list
describe windows-from-linux-old > windows-from-linux-old.list
same linux-from-windows-old.list windows-from-linux-old.list
if awk '$1 != 0 { bad = 1 } END { exit !bad }' linux-from-windows-old.list; then
  echo "DIFFERENT: old-format members got a time"
  failed=1
fi

if ((failed)); then
  echo "round trip between the builds: FAILED"
  exit 1
fi
echo "round trip between the builds: passed"
