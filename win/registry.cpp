#include "win/registry.h"

#include <shlwapi.h>

namespace pv::win {

RegKey RegKey::open(HKEY root, const std::string& path, REGSAM access) {
  HKEY h = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, access, &h) != ERROR_SUCCESS) return RegKey();
  return RegKey(h);
}

RegKey RegKey::create(HKEY root, const std::string& path, REGSAM access) {
  HKEY h = nullptr;
  if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &h, nullptr) !=
      ERROR_SUCCESS)
    return RegKey();
  return RegKey(h);
}

RegKey RegKey::openSub(const std::string& path, REGSAM access) const {
  return valid() ? open(get(), path, access) : RegKey();
}

RegKey RegKey::createSub(const std::string& path, REGSAM access) const {
  return valid() ? create(get(), path, access) : RegKey();
}

std::optional<std::string> RegKey::readString(const std::string& name) const {
  if (!valid()) return std::nullopt;
  DWORD type = 0, size = 0;
  if (::RegQueryValueExA(get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::string s(size + 1, '\0');
  if (::RegQueryValueExA(get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(s.data()), &size) != ERROR_SUCCESS)
    return std::nullopt;
  s.resize(std::min<std::size_t>(size, s.size()));
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

std::optional<DWORD> RegKey::readDword(const std::string& name) const {
  if (!valid()) return std::nullopt;
  DWORD type = 0, v = 0, size = sizeof v;
  if (::RegQueryValueExA(get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return std::nullopt;
  return v;
}

bool RegKey::valueExists(const std::string& name) const {
  return valid() && ::RegQueryValueExA(get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RegKey::writeString(const std::string& name, const std::string& value) {
  return valid() && ::RegSetValueExA(get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool RegKey::writeExpandString(const std::string& name, const std::string& value) {
  return valid() && ::RegSetValueExA(get(), name.c_str(), 0, REG_EXPAND_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool RegKey::writeDword(const std::string& name, DWORD value) {
  return valid() && ::RegSetValueExA(get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                     sizeof value) == ERROR_SUCCESS;
}

bool RegKey::writeBinary(const std::string& name, const void* data, DWORD size) {
  return valid() && ::RegSetValueExA(get(), name.c_str(), 0, REG_BINARY, static_cast<const BYTE*>(data), size) ==
                        ERROR_SUCCESS;
}

bool RegKey::deleteValue(const std::string& name) {
  return valid() && ::RegDeleteValueA(get(), name.c_str()) == ERROR_SUCCESS;
}

bool RegKey::deleteSubKey(const std::string& path) {
  return valid() && ::SHDeleteKeyA(get(), path.c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> RegKey::subKeyNames() const {
  std::vector<std::string> out;
  if (!valid()) return out;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD n = sizeof name;
    if (::RegEnumKeyExA(get(), i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.emplace_back(name, n);
  }
  return out;
}

std::vector<std::string> RegKey::valueNames() const {
  std::vector<std::string> out;
  if (!valid()) return out;
  char name[16384];
  for (DWORD i = 0;; ++i) {
    DWORD n = sizeof name;
    if (::RegEnumValueA(get(), i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.emplace_back(name, n);
  }
  return out;
}

}  // namespace pv::win
