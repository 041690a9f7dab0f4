file(REMOVE_RECURSE
  "libarchive.a"
)
