// The archive's bytes as the generator and the C++ tests write them: the
// header and the size fields. The tool reads them in src/archive/. The
// Python harness and the shell tests, which cannot include it, make their
// own (struct "<I", printf).
#ifndef INIFIXER_TOOLS_ARCHIVE_BYTES_H_
#define INIFIXER_TOOLS_ARCHIVE_BYTES_H_

#include <cstdint>
#include <string>

#include "archive/archive.h"

// A 32-bit little-endian size field.
inline std::string Field(uint32_t size) {
  return {static_cast<char>(size), static_cast<char>(size >> 8),
          static_cast<char>(size >> 16), static_cast<char>(size >> 24)};
}

// A section whose size field says `declared`; the text gets its terminator.
inline std::string Section(uint32_t declared, const std::string& characters) {
  return Field(declared) + characters + '\0';
}

// A consistent section.
inline std::string Section(const std::string& characters) {
  return Section(static_cast<uint32_t>(characters.size() + 1), characters);
}

// The header every archive the generator writes begins with: the marker,
// then zeros.
inline const std::string Header =
    std::string(1, static_cast<char>(HeaderMarker)) + std::string(3, '\0');

#endif  // INIFIXER_TOOLS_ARCHIVE_BYTES_H_
