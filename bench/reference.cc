// The least work a repair run must do, timed beside the tool by speed.sh:
// copy Coalesced.ini to Coalesced.ini.bak in 1 MiB blocks, have the copy
// written to the disk, then read the archive once more and find every zero
// byte with memchr. Prints the number of zero bytes, so that the scan is
// not optimised away.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t BlockSize = 1 << 20;
char block[BlockSize];

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t done = write(fd, data, size);
    if (done <= 0)
      return false;
    data += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

bool Copy(const char* from, const char* to) {
  const int in = open(from, O_RDONLY);
  if (in < 0)
    return false;
  const int out = open(to, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  bool ok = out >= 0;
  ssize_t got = 0;
  while (ok && (got = read(in, block, BlockSize)) > 0)
    ok = WriteAll(out, block, static_cast<size_t>(got));
  ok = ok && got == 0 && fsync(out) == 0;
  if (out >= 0 && close(out) != 0)
    ok = false;
  close(in);
  return ok;
}

long long CountZeros(const char* path) {
  const int in = open(path, O_RDONLY);
  if (in < 0)
    return -1;
  long long zeros = 0;
  ssize_t got;
  while ((got = read(in, block, BlockSize)) > 0) {
    const char* at = block;
    const char* const end = block + got;
    while (const void* zero = memchr(at, 0, static_cast<size_t>(end - at))) {
      ++zeros;
      at = static_cast<const char*>(zero) + 1;
    }
  }
  close(in);
  return got == 0 ? zeros : -1;
}

}  // namespace

int main() {
  if (!Copy("Coalesced.ini", "Coalesced.ini.bak")) {
    std::perror("backup");
    return 1;
  }
  const long long zeros = CountZeros("Coalesced.ini");
  if (zeros < 0) {
    std::perror("Coalesced.ini");
    return 1;
  }
  std::printf("%lld zero bytes\n", zeros);
  return 0;
}
