#include <gtest/gtest.h>

#include "archive/archive.h"

TEST(CheckHeader, AcceptsExactlyHeadersBeginning1E00) {
  struct Case {
    unsigned char header[4];
    bool accepted;
  };
  const Case cases[] = {
      {{0x1E, 0x00, 0x00, 0x00}, true},  {{0x1E, 0x00, 0xFF, 0xFF}, true},
      {{0x1E, 0x00, 0x01, 0x00}, true},  {{0x1F, 0x00, 0x00, 0x00}, false},
      {{0x1E, 0x01, 0x00, 0x00}, false}, {{0x00, 0x00, 0x00, 0x00}, false},
      {{0x00, 0x1E, 0x00, 0x00}, false}, {{0x1E, 0x1E, 0x00, 0x00}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CheckHeader(c.header), c.accepted)
        << std::hex << +c.header[0] << ' ' << +c.header[1] << ' '
        << +c.header[2] << ' ' << +c.header[3];
}
