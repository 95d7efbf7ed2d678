#!/usr/bin/env bash
# Times catpack on a million catalog members against the text tools that do
# the same ordering, filtering and comparing, and prints the ratio of the
# medians (catpack / reference) and catpack's peak memory per member.
#
#   bench/index_scale.sh [catpack binary] [work folder] [runs]
#
# The work folder needs about 250 MiB. Peak memory needs GNU time.
set -euo pipefail
bench_folder=$(dirname "$(realpath "$0")")

catpack=$(realpath "${1:-build/default/src/catpack}")
work=${2:-$(mktemp -d /tmp/catpack-index-XXXXXX)}
runs=${3:-5}
mkdir -p "$work"
cd "$work"
export LC_ALL=C

# shellcheck source=bench/median.sh
source "$bench_folder/median.sh"

# Peak resident memory of one run of "$@" in bytes, or 0 without GNU time.
peak() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1 | awk '{print $1 * 1024}'
  else
    echo 0
  fi
}

report() {  # name, catpack seconds, reference seconds, target, peak bytes
  printf '%-12s catpack %7.3fs  reference %7.3fs  ratio %5.2f  (target %s)  peak %5.0f MiB, %4.0f bytes/member\n' \
    "$1" "$2" "$3" "$(echo "$2 / $3" | bc -l)" "$4" "$(echo "$5 / 1048576" | bc -l)" \
    "$(echo "$5 / 1000000" | bc -l)"
}

# --- inputs -------------------------------------------------------------
# names.cat: a million size-0 members in random order, as catalogs merged
# from several inputs are; names_b.cat the same set with 1 % removed, 1 %
# added, 1 % changed (other time and digest) and 1 % touched (a day later,
# same digest). The .txt files hold the same names for the text tools.
if [ ! -f names_b.cat ]; then
  python3 - <<'PY'
import hashlib, random
random.seed(3)
count = 1000000
zero = "0" * 32
def name(i):
    return "%s%03d/sub%02d/file%07d.%s" % (random.choice(("dir", "dir", "data", "gfx", "snd")),
                                          random.randrange(200), random.randrange(50), i,
                                          random.choice(("xml", "dds", "txt", "pck")))
names = [name(i) for i in range(count)]
times = [1600000000 + random.randrange(1000000) for _ in range(count)]
a = [(names[i], times[i], zero) for i in range(count)]
random.shuffle(a)
picked = random.sample(range(count), 3 * (count // 100))
removed = set(picked[:count // 100])
changed = set(picked[count // 100:2 * (count // 100)])
touched = set(picked[2 * (count // 100):])
b = []
for i in range(count):
    if i in removed:
        continue
    if i in changed:
        b.append((names[i], times[i] + 1, hashlib.md5(names[i].encode()).hexdigest()))
    elif i in touched:
        b.append((names[i], times[i] + 86400, zero))
    else:
        b.append((names[i], times[i], zero))
b += [(name(i), 1600000000 + random.randrange(1000000), zero) for i in range(count, count + count // 100)]
random.shuffle(b)
for base, members in (("names", a), ("names_b", b)):
    with open(base + ".cat", "w", newline="\n") as index:
        index.writelines("%s 0 %d %s\n" % member for member in members)
    with open(base + ".txt", "w", newline="\n") as listing:
        listing.writelines(member[0] + "\n" for member in members)
    open(base + ".dat", "w").close()
PY
fi

# --- runs ---------------------------------------------------------------
c=$(median "$catpack" -in names.cat -dump)
r=$(median sort names.txt)
report "index" "$c" "$r" "<= 1.0" "$(peak "$catpack" -in names.cat -dump)"

c=$(median "$catpack" -in names.cat -include '\.xml$' -exclude '^dir00[0-4]/' -dump)
r=$(median sh -c "grep -E '\\.xml\$' names.txt | grep -Ev '^dir00[0-4]/' | sort")
report "filter" "$c" "$r" "<= 1.5" \
  "$(peak "$catpack" -in names.cat -include '\.xml$' -exclude '^dir00[0-4]/' -dump)"

c=$(median "$catpack" -in names_b.cat -diff names.cat -dump)
r=$(median sh -c 'sort names.txt > s1; sort names_b.txt > s2; comm -3 s1 s2')
report "diff" "$c" "$r" "<= 1.0" "$(peak "$catpack" -in names_b.cat -diff names.cat -dump)"

echo "work folder: $work"
