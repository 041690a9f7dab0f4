// Writes a synthetic archive: the header, then sections of ini-like text,
// some with a wrong size field. Used by the tests, the demo and the
// benchmark, so that no archive from anywhere else is needed.
//
//   make_archive OUT [--sections N] [--bytes B] [--min-text L] [--max-text L]
//                    [--garbled-every K] [--seed S]
//
// Writes N sections (default 12), or sections until the file holds at least
// B bytes. Each text has L characters, L drawn from [min-text, max-text]
// (default 20 to 400), plus its terminator. Every K-th section is garbled
// (default 4; 0 garbles none), its size field off from the true size.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

uint64_t rng_state = 0x9E3779B97F4A7C15ull;

uint64_t Next() {  // xorshift64*
  rng_state ^= rng_state >> 12;
  rng_state ^= rng_state << 25;
  rng_state ^= rng_state >> 27;
  return rng_state * 0x2545F4914F6CDD1Dull;
}

uint64_t Between(uint64_t low, uint64_t high) {
  return low + Next() % (high - low + 1);
}

bool Put(FILE* out, const void* data, size_t size) {
  return fwrite(data, 1, size, out) == size;
}

bool PutSize(FILE* out, uint32_t size) {
  const unsigned char field[4] = {static_cast<unsigned char>(size),
                                  static_cast<unsigned char>(size >> 8),
                                  static_cast<unsigned char>(size >> 16),
                                  static_cast<unsigned char>(size >> 24)};
  return Put(out, field, 4);
}

// Writes `length` characters of ini-like text: keys, values, line breaks.
bool PutText(FILE* out, uint64_t length) {
  static const char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
      "=[]._,; \n";
  static char chunk[1 << 16];
  while (length > 0) {
    const size_t n =
        length < sizeof chunk ? static_cast<size_t>(length) : sizeof chunk;
    for (size_t i = 0; i < n; ++i)
      chunk[i] = kAlphabet[Next() % (sizeof kAlphabet - 1)];
    if (!Put(out, chunk, n))
      return false;
    length -= n;
  }
  return true;
}

uint64_t Number(const char* text) {
  return std::strtoull(text, nullptr, 10);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: make_archive OUT [--sections N] [--bytes B] "
                 "[--min-text L] [--max-text L] [--garbled-every K] "
                 "[--seed S]\n");
    return 2;
  }
  uint64_t sections = 12, bytes = 0, min_text = 20, max_text = 400;
  uint64_t garbled_every = 4;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const uint64_t value = Number(argv[i + 1]);
    if (flag == "--sections")
      sections = value;
    else if (flag == "--bytes")
      bytes = value, sections = UINT64_MAX;
    else if (flag == "--min-text")
      min_text = value;
    else if (flag == "--max-text")
      max_text = value;
    else if (flag == "--garbled-every")
      garbled_every = value;
    else if (flag == "--seed")
      rng_state ^= value * 0x100000001B3ull;
    else {
      std::fprintf(stderr, "make_archive: unknown flag %s\n", argv[i]);
      return 2;
    }
  }
  if (max_text < min_text) {
    std::fprintf(stderr, "make_archive: bad text lengths\n");
    return 2;
  }

  FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  static char out_buffer[1 << 20];
  std::setvbuf(out, out_buffer, _IOFBF, sizeof out_buffer);
  const unsigned char header[4] = {0x1E, 0x00, 0x00, 0x00};
  bool ok = Put(out, header, 4);
  uint64_t written = 4;
  for (uint64_t n = 1; ok && n <= sections && (!bytes || written < bytes);
       ++n) {
    const uint64_t length = Between(min_text, max_text);
    uint32_t size = static_cast<uint32_t>(length + 1);
    if (garbled_every && n % garbled_every == 0) {
      // Off by a few bytes as after a hand edit, or wildly.
      const uint32_t off = static_cast<uint32_t>(Between(1, 40));
      size = Next() % 8 == 0 ? 0xFFFFFFFFu - off
                             : (Next() & 1 ? size + off : size - off);
      if (size == length + 1)
        size = 0;
    }
    ok = PutSize(out, size) && PutText(out, length) && Put(out, "", 1);
    written += 4 + length + 1;
  }
  if (std::fclose(out) != 0 || !ok) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
