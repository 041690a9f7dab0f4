// Archive bytes built in tests: size fields, sections and the header.
#ifndef INIFIXER_TESTS_TEST_ARCHIVE_H_
#define INIFIXER_TESTS_TEST_ARCHIVE_H_

#include <cstdint>
#include <string>

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

inline const std::string Header("\x1E\0\0\0", 4);

#endif  // INIFIXER_TESTS_TEST_ARCHIVE_H_
