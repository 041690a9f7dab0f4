file(REMOVE_RECURSE
  "libconsole.a"
)
