// Writes a synthetic archive: the header, then sections of settings text
// (`[Area.Part]` headers, `Key=Value` lines, LF line breaks), some with a
// wrong size field as after a hand edit. Used by the tests, the demo and the
// benchmark, so that no archive from anywhere else is needed.
//
//   make_archive OUT [--sections N] [--bytes B] [--min-text L] [--max-text L]
//                    [--garbled-every K] [--seed S]
//
// --help prints that usage; an option it does not know, a value that is not
// a whole number or a second file name gets it on standard error and status
// 2, and no file is written.
//
// Writes N sections (default 12), or sections until the file holds at least
// B bytes. Each text has L characters, L drawn from [min-text, max-text]
// (default 20 to 400), plus its terminator. Every K-th section is garbled
// (default 4; 0 garbles none), its size field off from the true size.
// A text of L >= 1 characters is cut from a pool of settings lines, starting
// at one of its headers, and ends with a line break.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive_bytes.h"

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

bool Put(FILE* out, const std::string& bytes) {
  return Put(out, bytes.data(), bytes.size());
}

template <size_t N>
const char* Pick(const char* const (&words)[N]) {
  return words[Next() % N];
}

// Settings text that the texts are cut from, and where its headers start.
// Texts copy it in large pieces, so that even one of 4 GiB is quick to write.
std::string pool;
std::vector<size_t> header_starts;

void FillPool() {
  static const char* const Areas[] = {
      "Audio",  "Video", "Input", "Game",     "Network", "Interface",
      "Camera", "World", "Save",  "Lighting", "Player",  "Vehicle"};
  static const char* const Parts[] = {"Settings", "Mixer",      "Display",
                                      "Bindings", "Difficulty", "Lobby",
                                      "Hud",      "Controller", "Quality",
                                      "Profile",  "Streaming",  "Defaults"};
  static const char* const Keys[] = {
      "Volume",         "ResolutionX",    "ResolutionY", "Fullscreen",
      "Sensitivity",    "InvertLook",     "MaxPlayers",  "Port",
      "Language",       "Subtitles",      "FieldOfView", "Gamma",
      "TextureQuality", "ShadowDistance", "AutoSave",    "Brightness",
      "FrameLimit",     "JumpKey",        "CrouchKey",   "MusicVolume",
      "ServerName",     "VSync",          "StartLevel",  "RespawnDelay"};
  static const char* const Words[] = {
      "True",    "False",   "High",           "Low",
      "Medium",  "English", "SpaceBar",       "LeftCtrl",
      "Default", "Off",     "Levels/Harbour", "Levels/Citadel"};
  pool.reserve((1 << 16) + 1024);
  while (pool.size() < (1 << 16)) {
    header_starts.push_back(pool.size());
    pool += std::string("[") + Pick(Areas) + "." + Pick(Parts) + "]\n";
    for (uint64_t lines = Between(2, 12); lines > 0; --lines) {
      pool += std::string(Pick(Keys)) + "=";
      switch (Next() % 3) {
        case 0:
          pool += std::to_string(Between(0, 5000));
          break;
        case 1:
          pool += "0." + std::to_string(Between(10, 99));
          break;
        default:
          pool += Pick(Words);
      }
      pool += "\n";
    }
    pool += "\n";
  }
}

// Writes `length` characters of settings text, never a zero byte.
bool PutText(FILE* out, uint64_t length) {
  if (length == 0)
    return true;
  size_t at = header_starts[Next() % header_starts.size()];
  for (uint64_t left = length - 1; left > 0; at = 0) {
    const size_t n =
        left < pool.size() - at ? static_cast<size_t>(left) : pool.size() - at;
    if (!Put(out, pool.data() + at, n))
      return false;
    left -= n;
  }
  return Put(out, "\n", 1);
}

// Whether `text` is a whole number in decimal digits within 64 bits; if so,
// it is put in `value`.
bool Number(const char* text, uint64_t& value) {
  if (!*text || std::strspn(text, "0123456789") != std::strlen(text))
    return false;
  errno = 0;
  value = std::strtoull(text, nullptr, 10);
  return errno == 0;
}

const char Usage[] =
    "usage: make_archive OUT [--sections N] [--bytes B] [--min-text L] "
    "[--max-text L] [--garbled-every K] [--seed S]\n";

// The usage and what is wrong with the command line, on standard error.
int Refuse(const std::string& what) {
  std::fprintf(stderr, "%smake_archive: %s\n", Usage, what.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = nullptr;
  uint64_t sections = 12, bytes = 0, min_text = 20, max_text = 400;
  uint64_t garbled_every = 4, seed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--help" || flag == "-h")
      return std::fputs(Usage, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
    if (flag[0] != '-') {
      if (path)
        return Refuse("a second output file: " + flag);
      path = argv[i];
      continue;
    }
    uint64_t* value = flag == "--sections"        ? &sections
                      : flag == "--bytes"         ? &bytes
                      : flag == "--min-text"      ? &min_text
                      : flag == "--max-text"      ? &max_text
                      : flag == "--garbled-every" ? &garbled_every
                      : flag == "--seed"          ? &seed
                                                  : nullptr;
    if (!value)
      return Refuse("unknown option " + flag);
    if (i + 1 == argc || !Number(argv[i + 1], *value))
      return Refuse(flag + " needs a whole number");
    ++i;
  }
  if (!path)
    return Refuse("no output file");
  if (max_text < min_text) {
    std::fprintf(stderr, "make_archive: bad text lengths\n");
    return 2;
  }
  if (bytes)
    sections = UINT64_MAX;
  rng_state ^= seed * 0x100000001B3ull;

  FILE* out = std::fopen(path, "wb");
  if (!out) {
    std::perror(path);
    return 1;
  }
  static char out_buffer[1 << 20];
  std::setvbuf(out, out_buffer, _IOFBF, sizeof out_buffer);
  FillPool();
  bool ok = Put(out, Header);
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
    ok = Put(out, Field(size)) && PutText(out, length) && Put(out, "", 1);
    written += 4 + length + 1;
  }
  if (std::fclose(out) != 0 || !ok) {
    std::perror(path);
    return 1;
  }
  return 0;
}
