// The tool's fixed texts as the tests expect them, read from texts.txt (its
// path compiled in as INIFIXER_TEXTS), the one place that holds them.
#ifndef INIFIXER_TESTS_TEXTS_H_
#define INIFIXER_TESTS_TEXTS_H_

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <map>
#include <string>

// The text called `name`, with `values` in the places of its "{}", in order.
// A name that texts.txt lacks, or a wrong number of values, is a fault of
// the test: it ends the process.
inline std::string Text(const std::string& name,
                        std::initializer_list<std::string> values = {}) {
  static const std::map<std::string, std::string> texts = [] {
    std::map<std::string, std::string> read;
    std::ifstream file(INIFIXER_TEXTS);
    for (std::string line; std::getline(file, line);) {
      const size_t tab = line.find('\t');
      if (line.empty() || line[0] == '#' || tab == line.npos)
        continue;
      std::string text;
      for (size_t at = tab + 1; at < line.size(); ++at) {
        const bool escape = line.compare(at, 2, "\\n") == 0;
        text += escape ? '\n' : line[at];
        at += escape;
      }
      read[line.substr(0, tab)] = text;
    }
    return read;
  }();
  const auto found = texts.find(name);
  if (found == texts.end()) {
    std::fprintf(stderr, "%s has no text %s\n", INIFIXER_TEXTS, name.c_str());
    std::abort();
  }
  std::string text = found->second;
  size_t at = 0;
  for (const std::string& value : values) {
    at = text.find("{}", at);
    if (at == text.npos)
      break;
    text.replace(at, 2, value);
    at += value.size();
  }
  if (at == text.npos || text.find("{}", at) != text.npos) {
    std::fprintf(stderr, "text %s takes another number of values\n",
                 name.c_str());
    std::abort();
  }
  return text;
}

// The report on a garbled section at `offset` whose fix was written.
inline std::string FixedReport(int64_t offset, const std::string& excerpt,
                               uint32_t declared, uint32_t actual) {
  return Text("report", {std::to_string(offset), excerpt,
                         std::to_string(declared), std::to_string(actual)}) +
         Text("fixed");
}

#endif  // INIFIXER_TESTS_TEXTS_H_
