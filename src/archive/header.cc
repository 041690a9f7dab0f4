#include "archive.h"

bool CheckHeader(const unsigned char header[4]) {
  return header[0] == HeaderMarker && header[1] == 0x00;
}
