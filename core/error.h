// Errors the user has to see: the text is what the error box shows (Shift-JIS).
#pragma once
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pv {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// fmt with its first "%s" replaced by arg ("ファイル %s を作成できません").
std::string formatText(std::string_view fmt, std::string_view arg);
// fmt with its "%s" replaced in turn by args; a "%s" inside an arg stays as it is.
std::string formatText(std::string_view fmt, std::initializer_list<std::string_view> args);

}  // namespace pv
