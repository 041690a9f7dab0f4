file(REMOVE_RECURSE
  "libplatform.a"
)
