#include "core/cmdline.h"

#include "core/sjis.h"

namespace pv::cmdline {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::vector<std::string> split(std::string_view line) {
  std::vector<std::string> args;
  std::string cur;
  bool inArg = false;    // an argument has started (possibly empty, from "")
  bool quoted = false;
  for (std::size_t i = 0; i < line.size();) {
    const std::size_t n = sjis::charLen(line, i);
    const char c = line[i];
    if (n == 1 && c == '"') {
      quoted = !quoted;
      inArg = true;
    } else if (n == 1 && !quoted && isBlank(c)) {
      if (inArg) args.push_back(std::move(cur));
      cur.clear();
      inArg = false;
    } else {
      cur.append(line.substr(i, n));
      inArg = true;
    }
    i += n;
  }
  if (inArg) args.push_back(std::move(cur));
  return args;
}

std::vector<std::string> splitProgramArgs(std::string_view line) {
  std::vector<std::string> args;
  auto separator = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= 0x20; };
  std::size_t i = 0;
  for (;;) {
    for (;;) {
      while (i < line.size() && separator(line[i])) ++i;
      if (i + 1 < line.size() && line[i] == '"' && line[i + 1] == '"') {
        i += 2;
      } else {
        break;
      }
    }
    if (i >= line.size() || line[i] == '\0') break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && line[i] != '\0' && (quoted || !separator(line[i]))) {
      const std::size_t n = sjis::charLen(line, i);
      if (n == 1 && line[i] == '"') {
        quoted = !quoted;
      } else {
        arg.append(line.substr(i, n));
      }
      i += n;
    }
    if (arg.empty()) break;  // the runtime stops counting at an empty argument
    args.push_back(std::move(arg));
  }
  return args;
}

std::vector<std::string> parseResponse(std::string_view text) {
  std::vector<std::string> names;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view lineText = text.substr(pos, end - pos);
    pos = end + 1;

    // Shift-JIS trailing bytes are 0x40 and up, so blanks can be trimmed bytewise.
    while (!lineText.empty() && (isBlank(lineText.front()))) lineText.remove_prefix(1);
    while (!lineText.empty() && (isBlank(lineText.back()) || lineText.back() == '\x1a'))
      lineText.remove_suffix(1);
    if (lineText.empty()) continue;

    if (lineText.front() == '"') {
      lineText.remove_prefix(1);
      std::size_t close = lineText.size();
      for (std::size_t i = 0; i < lineText.size(); i += sjis::charLen(lineText, i)) {
        if (lineText[i] == '"') {
          close = i;
          break;
        }
      }
      lineText = lineText.substr(0, close);
      if (lineText.empty()) continue;
    }
    names.emplace_back(lineText);
  }
  return names;
}

}  // namespace pv::cmdline
