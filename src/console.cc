#include "console.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "platform.h"

namespace {

// What waits to be written. Never destroyed: the runtime flushes std::cout
// at exit, after the destructors of this file would have run.
std::stringbuf& Gathered() {
  static std::stringbuf* const gathered = new std::stringbuf;
  return *gathered;
}

std::streambuf* sink = nullptr;

// The report's descriptor, -1 when there is none; how many bytes went to it,
// and whether all of them did.
int report = -1;
int64_t reported = 0;
bool report_whole = true;

}  // namespace

void StartConsole() {
  SetBinaryStandardOutput();
  // Each write of ours, CR LF included, fits in this buffer, so that the
  // runtime passes it on in one call when it is flushed.
  static char buffer[16 << 10];
  setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  ConsoleWritesTo(std::cout.rdbuf());
}

void ConsoleWritesTo(std::streambuf* to) {
  Gathered().str(std::string());
  sink = to;
  std::cout.rdbuf(&Gathered());
}

void PrintFormatted(const char* format, const char* text) {
  char line[512];
  // The format is a caller's literal, which the compiler checks at the call
  // (the attribute in console.h); here it can only be a parameter.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  const int size = snprintf(line, sizeof line, format, text);
#pragma GCC diagnostic pop
  if (size > 0)
    std::cout.write(line, std::min<std::streamsize>(size, sizeof line - 1));
}

size_t ConsolePending() {
  const auto pending = Gathered().pubseekoff(0, std::ios::cur, std::ios::out);
  return pending > 0 ? static_cast<size_t>(pending) : 0;
}

void FlushConsole() {
  const std::string text = Gathered().str();
  Gathered().str(std::string());
  if (text.empty() || !sink)
    return;
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t from = 0; from < text.size();) {
    const size_t line_end = std::min(text.find('\n', from), text.size());
    out.append(text, from, line_end - from);
    if (line_end < text.size())
      out += LineBreak;
    from = line_end + 1;
  }
  sink->sputn(out.data(), static_cast<std::streamsize>(out.size()));
  sink->pubsync();
  if (report >= 0) {
    report_whole = WriteOwnFile(report, out.data(), out.size()) && report_whole;
    reported += static_cast<int64_t>(out.size());
  }
  // Standard output remembers a failed write; the next one is tried all the
  // same.
  clearerr(stdout);
}

void ConsoleCopiesTo(int to) {
  report = to;
}

bool EndReport() {
  FlushConsole();
  if (report < 0)
    return true;
  const bool whole = SyncAndCloseOwnFile(report, reported) && report_whole;
  report = -1;
  return whole;
}
