#!/usr/bin/env bash
# Times catpack against the tools a user would otherwise reach for, in the
# same sitting, and prints the ratio of the medians (catpack / reference).
#
#   bench/compare.sh [catpack binary] [work folder] [runs]
#
# The work folder needs about 3 GiB. Every timing is the median of `runs`.
set -euo pipefail
bench_folder=$(dirname "$(realpath "$0")")

catpack=$(realpath "${1:-build/default/src/catpack}")
work=${2:-$(mktemp -d /tmp/catpack-bench-XXXXXX)}
runs=${3:-5}
mkdir -p "$work"
cd "$work"

# shellcheck source=bench/median.sh
source "$bench_folder/median.sh"

report() {  # name, catpack seconds, reference seconds, target
  printf '%-44s catpack %8.3fs  reference %8.3fs  ratio %5.2f  (target %s)\n' \
    "$1" "$2" "$3" "$(echo "$2 / $3" | bc -l)" "$4"
}

# --- inputs -------------------------------------------------------------
if [ ! -d two ]; then
  mkdir two
  head -c $((256 << 20)) /dev/urandom > two/first.bin
  head -c $((256 << 20)) /dev/urandom > two/second.bin
fi
if [ ! -d many ]; then
  mkdir many
  python3 - <<'PY'
import os, random
random.seed(1)
block = os.urandom(16384)
for i in range(20000):
    folder = "many/dir%03d" % (i % 200)
    os.makedirs(folder, exist_ok=True)
    with open("%s/file%05d.bin" % (folder, i), "wb") as out:
        out.write(block[: random.randint(1024, 16384)])
PY
fi
# A million member names: shuffled.cat lists them in random order, names.cat
# in key order, the order in which catpack writes every catalog.
if [ ! -f names.cat ]; then
  python3 - <<'PY'
import random
random.seed(2)
ends = [".xml", ".png", ".txt", ".dds", ".xml.gz"]
names = ["dir%03d/sub%02d/file%07d%s" % (random.randrange(1000), i % 37, i, random.choice(ends))
         for i in range(1000000)]
for catalog, order in (("shuffled", names), ("names", sorted(names))):
    with open(catalog + ".cat", "w") as index:
        index.writelines(name + " 0\n" for name in order)
    open(catalog + ".dat", "w").close()
    with open(catalog + ".txt", "w") as listing:
        listing.writelines(name + "\n" for name in order)
PY
fi
[ -f old.cat ] || "$catpack" -in two -zarn3cat -out old.cat >/dev/null
[ -f many.cat ] || "$catpack" -in many -out many.cat >/dev/null
if [ ! -d copy ]; then
  cp -a two copy
  touch -d "@$(( $(stat -c %Y two/first.bin) - 86400 ))" copy/first.bin copy/second.bin
fi

# --- runs ---------------------------------------------------------------
c=$(median "$catpack" -in old.cat -out converted.cat)
r=$(median sh -c 'cp old.dat copied.dat && md5sum copied.dat')
report "old catalog 2x256 MiB to current" "$c" "$r" "<= 1.2"

for names in names shuffled; do
  c=$(median "$catpack" -in $names.cat -include '\.xml$' -exclude '^dir00[0-4]/' -dump)
  r=$(median sh -c "grep -E '\\.xml\$' $names.txt | grep -Ev '^dir00[0-4]/' | LC_ALL=C sort")
  report "filter 1,000,000 names ($names.cat)" "$c" "$r" "<= 1.5"
done

c=$(median "$catpack" -in two -out packed.cat)
r=$(median sh -c 'tar -cf packed.tar two && md5sum two/*')
report "pack two 256 MiB files" "$c" "$r" "<= 1.1"

c=$(median "$catpack" -in many -out packed-many.cat)
r=$(median sh -c 'tar -cf packed-many.tar many && find many -type f -exec md5sum {} +')
report "pack 20,000 files of 1-16 KiB" "$c" "$r" "<= 1.3"

[ -f many.tar ] || tar -cf many.tar many
prepare='rm -rf out && mkdir out && sync'
c=$(median "$catpack" -in many.cat -out out)
r=$(median tar -xf many.tar -C out)
prepare=
report "extract 20,000 files" "$c" "$r" "<= 1.5"

c=$(median "$catpack" -in two -diff copy -dump)
r=$(median md5sum two/first.bin two/second.bin copy/first.bin copy/second.bin)
report "diff two copies a day apart" "$c" "$r" "<= 1.1"

echo "work folder: $work"
