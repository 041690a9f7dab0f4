// Loaded with LD_PRELOAD into a native run: opens Coalesced.ini.bak for
// writing without truncating it, as if the truncation had failed and nobody
// had said so (what Wine does when wineserver's ftruncate fails). An older,
// longer backup then keeps its tail behind the copy. libstdc++'s ofstream
// opens through fopen, so that is what is replaced.
// Both names are defined here, so neither may stand for the other.
#undef _FILE_OFFSET_BITS
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <fcntl.h>
#include <cstdio>
#include <cstring>

namespace {

FILE* Open(const char* symbol, const char* path, const char* mode) {
  static const char suffix[] = "Coalesced.ini.bak";
  const size_t length = std::strlen(path), tail = sizeof suffix - 1;
  if (mode[0] == 'w' && length >= tail &&
      std::strcmp(path + length - tail, suffix) == 0) {
    const int fd = open(path, O_WRONLY | O_CREAT, 0666);
    return fd < 0 ? nullptr : fdopen(fd, "wb");
  }
  using Fopen = FILE* (*)(const char*, const char*);
  return reinterpret_cast<Fopen>(dlsym(RTLD_NEXT, symbol))(path, mode);
}

}  // namespace

extern "C" FILE* fopen(const char* path, const char* mode) {
  return Open("fopen", path, mode);
}

extern "C" FILE* fopen64(const char* path, const char* mode) {
  return Open("fopen64", path, mode);
}
