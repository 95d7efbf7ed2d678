# Shared by the benchmark scripts; sourced, not run.
#
# median "$@": the median wall-clock seconds of running "$@" $runs times,
# its output dropped; $prepare, when set, runs untimed before each run.
median() {
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    if [ -n "${prepare:-}" ]; then sh -c "$prepare"; fi
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}
