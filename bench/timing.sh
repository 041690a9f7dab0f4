# Sourced by the benchmarks (bash): timing and the figures taken from runs.

elapsed_us() {  # COMMAND...: runs it, prints how many microseconds it took
  local start=${EPOCHREALTIME/./}
  "$@"
  echo $((${EPOCHREALTIME/./} - start))
}

median() {  # TIMES...
  printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

fastest() {  # TIMES...
  printf '%s\n' "$@" | sort -n | head -1
}
