#include "run.h"

// The tool takes no arguments; any that are given are ignored.
int main() {
  RunRepair();
}
