# Sourced by the benchmarks (bash): timing and the figures taken from runs.

now_us() {  # the wall clock in microseconds
  echo "${EPOCHREALTIME/./}"
}

median() {  # TIMES...
  printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

fastest() {  # TIMES...
  printf '%s\n' "$@" | sort -n | head -1
}
