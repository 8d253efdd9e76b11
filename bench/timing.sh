# Shared by the durability benchmarks (sourced): how a run is timed and how
# rounds are summed up.

# Seconds taken by a command, after the disk has settled: everything flushed,
# then a pause of SETTLE seconds (each benchmark sets its default), since a
# virtual disk may slow down for a while after a burst of writes.
timed() {
  sync
  sleep "$SETTLE"
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f\n", ns / 1e9 }'
}

# The median of the numbers on standard input, one a line.
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
