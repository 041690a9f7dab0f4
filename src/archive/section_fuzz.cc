// libFuzzer target over the walk: each input is written out as an archive and
// walked with RepairNextSection to the end. What the walk printed, how many
// sections it took and the bytes it left must match a plain model of the
// layout.
//
// When byte 2 of the input, a header byte the walk ignores, is not zero, a
// consistent section of nearly 64 KiB goes in front of the input's sections,
// which then start that many bytes before the end of the walk's first read,
// so that they cross its buffer refills.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "archive/archive.h"
#include "archive_bytes.h"
#include "test_walk.h"
#include "texts.h"

namespace {

// The walk as the layout defines it, without buffers.
Walk Model(const std::string& file) {
  Walk walk;
  walk.after = file;
  walk.at_end = true;
  for (size_t pos = 4; pos + 4 <= file.size();) {
    const size_t zero = file.find('\0', pos + 4);
    if (zero == std::string::npos) {
      walk.output += Text("incomplete");
      break;
    }
    uint32_t declared = 0;
    for (size_t i = pos + 4; i-- > pos;)
      declared = declared << 8 | static_cast<unsigned char>(file[i]);
    const uint32_t actual = static_cast<uint32_t>(zero - pos - 3);
    if (declared != actual) {
      std::string excerpt =
          file.substr(pos + 4, std::min<size_t>(zero - pos - 4, 19));
      for (char& c : excerpt)
        if ((c < 0x20 || c > 0x7E) && c != '\t' && c != '\n')
          c = '?';
      walk.output +=
          FixedReport(static_cast<int64_t>(pos), excerpt, declared, actual);
      walk.after.replace(pos, 4, Field(actual));
      walk.fixed = true;
    }
    ++walk.sections;
    pos = zero + 1;
  }
  return walk;
}

// Walks `file` as the tool does: opened "r+b", unbuffered.
Walk RealWalk(const std::string& file) {
  static const int fd = memfd_create("archive", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0 ||
      pwrite(fd, file.data(), file.size(), 0) !=
          static_cast<ssize_t>(file.size()))
    abort();
  FILE* archive = fdopen(dup(fd), "r+b");
  if (!archive)
    abort();
  Walk walk = WalkStream(archive);
  fclose(archive);

  walk.after.resize(file.size());
  if (pread(fd, walk.after.data(), file.size(), 0) !=
      static_cast<ssize_t>(file.size()))
    abort();
  return walk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file(reinterpret_cast<const char*>(data), size);
  if (size >= 4 && data[2] != 0) {
    // The input's first section then starts data[2] bytes before the end of
    // the walk's first read, at offset 4 + 64 KiB.
    const size_t filler = 65531 - data[2];
    file.insert(4, Field(static_cast<uint32_t>(filler + 1)) +
                       std::string(filler, 'f') + '\0');
  }
  const Walk expected = Model(file);
  const Walk walk = RealWalk(file);
  if (walk.output != expected.output || walk.after != expected.after ||
      walk.sections != expected.sections || walk.at_end != expected.at_end ||
      walk.fixed != expected.fixed) {
    std::cerr << "walk printed:\n"
              << walk.output << "\nmodel printed:\n"
              << expected.output << "\nsections " << walk.sections << " vs "
              << expected.sections << ", at end " << walk.at_end << ", fixed "
              << walk.fixed << " vs " << expected.fixed << ", bytes after "
              << (walk.after == expected.after ? "same" : "differ") << "\n";
    abort();
  }
  return 0;
}
