#!/usr/bin/env bash
# Times catpack on a million (or --scale N million) catalog members against
# the text tools that do the same ordering, filtering and comparing, and
# prints the ratio of the medians (catpack / reference), the time per member
# and catpack's peak memory per member.
#
#   bench/index_scale.sh [--scale N] [--only index|filter|diff|checksum] [catpack binary] [work folder] [runs]
#
# The runs of catpack and of the reference alternate, so that a spell of
# other work on the machine falls on both. A million members need about
# 250 MiB in the work folder, ten million about 2.5 GiB. Peak memory needs
# GNU time.
set -euo pipefail
bench_folder=$(dirname "$(realpath "$0")")

scale=1
only=
while [ "${1:-}" = "--scale" ] || [ "${1:-}" = "--only" ]; do
  if [ "$1" = "--scale" ]; then scale=$2; else only=$2; fi
  shift 2
done
catpack=$(realpath "${1:-build/default/src/catpack}")
work=${2:-$(mktemp -d /tmp/catpack-index-XXXXXX)}
runs=${3:-5}
mkdir -p "$work"
cd "$work"
export LC_ALL=C

count=$((scale * 1000000))
base=names${scale}m

# Peak resident memory of one run of "$@" in bytes, or 0 without GNU time.
peak() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1 | awk '{printf "%d\n", $1 * 1024}'
  else
    echo 0
  fi
}

# Wall-clock seconds of one run of "$@", its output dropped.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

# The median of the numbers on standard input.
median_of() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# compare NAME TARGET -- CATPACK ARGS... -- REFERENCE COMMAND...: one
# untimed run of each, then $runs timed runs of each in turn; prints the
# medians, their ratio, the time per member and the peak memory per member.
compare() {
  local name=$1 target=$2
  shift 3
  if [ -n "$only" ] && [ "${name%_*}" != "$only" ]; then return; fi
  local tool=() reference=()
  while [ "$1" != "--" ]; do tool+=("$1"); shift; done
  shift
  reference=("$@")
  "${tool[@]}" >/dev/null 2>&1
  "${reference[@]}" >/dev/null 2>&1
  local tool_times=() reference_times=()
  for _ in $(seq "$runs"); do
    tool_times+=("$(seconds "${tool[@]}")")
    reference_times+=("$(seconds "${reference[@]}")")
  done
  local c r bytes
  c=$(printf '%s\n' "${tool_times[@]}" | median_of)
  r=$(printf '%s\n' "${reference_times[@]}" | median_of)
  bytes=$(peak "${tool[@]}")
  printf '%-12s catpack %7.3fs  reference %7.3fs  ratio %5.2f  (target %s)  %6.1f ns/member  peak %6.0f MiB, %4.0f bytes/member\n' \
    "$name" "$c" "$r" "$(echo "$c / $r" | bc -l)" "$target" "$(echo "$c * 1000000000 / $count" | bc -l)" \
    "$(echo "$bytes / 1048576" | bc -l)" "$(echo "$bytes / $count" | bc -l)"
  echo "             catpack runs:   $(printf '%.3f ' "${tool_times[@]}")"
  echo "             reference runs: $(printf '%.3f ' "${reference_times[@]}")"
}

# --- inputs -------------------------------------------------------------
# $base.cat: size-0 members in random order, as catalogs merged from
# several inputs are; ${base}_b.cat the same set with 1 % removed, 1 %
# added, 1 % changed (other time and digest) and 1 % touched (a day later,
# same digest). The .txt files hold the same names for the text tools, the
# .nsd files each member's name, size and digest.
if [ ! -f "${base}_b.nsd" ]; then
  python3 - "$count" "$base" <<'PY'
import hashlib, random, sys
n = int(sys.argv[1])
out = sys.argv[2]
rng = random.Random(20261208 + 2)
mtime = 1700000000
day = 86400
zero = "0" * 32
prefixes = ("dir", "dir", "data", "gfx", "snd")
exts = ("xml", "dds", "txt", "pck")
def make_name(i):
    return "%s%03d/sub%02d/file%07d.%s" % (rng.choice(prefixes), rng.randrange(200),
                                          rng.randrange(50), i, rng.choice(exts))
names = [make_name(i) for i in range(n)]
times = [mtime + rng.randrange(1000000) for _ in range(n)]
order = list(range(n))
rng.shuffle(order)
a = [(names[j], times[j], zero) for j in order]
k = max(1, n // 100)
picked = rng.sample(range(n), 3 * k)
removed = set(picked[:k])
changed = set(picked[k:2 * k])
touched = set(picked[2 * k:])
b = []
for j in range(n):
    if j in removed:
        continue
    if j in changed:
        b.append((names[j], times[j] + 1, hashlib.md5(names[j].encode()).hexdigest()))
    elif j in touched:
        b.append((names[j], times[j] + day, zero))
    else:
        b.append((names[j], times[j], zero))
for i in range(n, n + k):
    b.append((make_name(i), mtime + rng.randrange(1000000), zero))
rng.shuffle(b)
for name, entries in ((out, a), (out + "_b", b)):
    with open(name + ".cat", "w", newline="\n") as index:
        index.writelines("%s 0 %d %s\n" % e for e in entries)
    with open(name + ".txt", "w", newline="\n") as listing:
        listing.writelines(e[0] + "\n" for e in entries)
    with open(name + ".nsd", "w", newline="\n") as listing:
        listing.writelines("%s 0 %s\n" % (e[0], e[2]) for e in entries)
    open(name + ".dat", "w").close()
PY
fi

# --- runs ---------------------------------------------------------------
compare "index_${scale}m" "<= 0.7" -- "$catpack" -in "$base.cat" -dump -- sort "$base.txt"

compare "filter_${scale}m" "<= 1.0" -- \
  "$catpack" -in "$base.cat" -include '\.xml$' -exclude '^dir00[0-4]/' -dump -- \
  sh -c "grep -E '\\.xml\$' $base.txt | grep -Ev '^dir00[0-4]/' | sort"

compare "diff_${scale}m" "<= 0.5" -- "$catpack" -in "${base}_b.cat" -diff "$base.cat" -dump -- \
  sh -c "sort $base.txt > s1; sort ${base}_b.txt > s2; comm -3 s1 s2"

# With -checksum every pair of equal size is decided by its digests, which
# the text tools compare as the "name size digest" lists.
compare "checksum_${scale}m" "<= 0.5" -- \
  "$catpack" -in "${base}_b.cat" -diff "$base.cat" -checksum -dump -- \
  sh -c "sort $base.nsd > n1; sort ${base}_b.nsd > n2; comm -3 n1 n2"

echo "work folder: $work"
