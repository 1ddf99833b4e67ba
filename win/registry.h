// Registry keys: opened, used and closed within one operation (RAII).
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "win/handle.h"

namespace pv::win {

using RegKeyHandle = Owned<RegKeyTraits>;

class RegKey {
 public:
  RegKey() = default;
  // Empty key (valid() false) when it cannot be opened or created.
  static RegKey open(HKEY root, const std::string& path, REGSAM access = KEY_READ);
  static RegKey create(HKEY root, const std::string& path, REGSAM access = KEY_READ | KEY_WRITE);
  RegKey openSub(const std::string& path, REGSAM access = KEY_READ) const;
  RegKey createSub(const std::string& path, REGSAM access = KEY_READ | KEY_WRITE) const;

  bool valid() const { return static_cast<bool>(key_); }
  explicit operator bool() const { return valid(); }
  HKEY get() const { return key_.get(); }

  // Reading answers nothing for a missing value or one of another type.
  std::optional<std::string> readString(const std::string& name) const;
  std::optional<DWORD> readDword(const std::string& name) const;
  bool valueExists(const std::string& name) const;
  bool writeString(const std::string& name, const std::string& value);
  bool writeExpandString(const std::string& name, const std::string& value);
  bool writeDword(const std::string& name, DWORD value);
  bool writeBinary(const std::string& name, const void* data, DWORD size);
  bool deleteValue(const std::string& name);
  // Deletes a subkey with everything below it.
  bool deleteSubKey(const std::string& path);
  std::vector<std::string> subKeyNames() const;
  std::vector<std::string> valueNames() const;

 private:
  explicit RegKey(HKEY h) : key_(h) {}
  RegKeyHandle key_;
};

}  // namespace pv::win
