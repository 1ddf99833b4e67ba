#include "core/path.h"

#include "core/sjis.h"

namespace pv::path {
namespace {

// Index just after the last '\' or ':' (0 when there is none), by whole characters.
std::size_t nameStart(std::string_view p) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < p.size(); i += sjis::charLen(p, i)) {
    if (p[i] == '\\' || p[i] == ':') start = i + 1;
  }
  return start;
}

}  // namespace

std::string dirPart(std::string_view p) { return std::string(p.substr(0, nameStart(p))); }

std::string namePart(std::string_view p) { return std::string(p.substr(nameStart(p))); }

std::string extPart(std::string_view p) {
  std::string_view name = p.substr(nameStart(p));
  std::size_t dot = sjis::findLast(name, '.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string changeExt(std::string_view p, std::string_view ext) {
  std::size_t start = nameStart(p);
  std::size_t dot = sjis::findLast(p.substr(start), '.');
  std::string out(dot == std::string_view::npos ? p : p.substr(0, start + dot));
  out += ext;
  return out;
}

std::string withTrailingBackslash(std::string_view p) {
  std::string out(p);
  if (!sjis::endsWithChar(out, '\\')) out += '\\';
  return out;
}

std::string withoutTrailingBackslash(std::string_view p) {
  std::string out(p);
  if (sjis::endsWithChar(out, '\\')) out.pop_back();
  return out;
}

}  // namespace pv::path
