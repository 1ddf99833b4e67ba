// Registry helpers. Tests and the programs under test share one Wine prefix, so
// what a test writes here is what the program reads.

#include "detail.h"
#include "driver.h"
#include <shlwapi.h>  // after <windows.h>

namespace pv::test {

using detail::setError;

namespace {
struct Key {
  HKEY h = nullptr;
  ~Key() {
    if (h) RegCloseKey(h);
  }
};

bool openKey(HKEY root, const std::string& key, REGSAM access, Key& k, bool create) {
  LONG rc = create ? RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, access, nullptr, &k.h, nullptr)
                   : RegOpenKeyExA(root, key.c_str(), 0, access, &k.h);
  if (rc != ERROR_SUCCESS) {
    setError("cannot open registry key " + key + " (error " + std::to_string(rc) + ")");
    k.h = nullptr;
    return false;
  }
  return true;
}

std::optional<std::string> readRaw(HKEY root, const std::string& key, const std::string& name, DWORD& type) {
  Key k;
  if (!openKey(root, key, KEY_QUERY_VALUE, k, false)) return std::nullopt;
  DWORD size = 0;
  if (RegQueryValueExA(k.h, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    setError("no registry value " + key + "\\" + name);
    return std::nullopt;
  }
  std::string data(size, '\0');
  if (size && RegQueryValueExA(k.h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) !=
                  ERROR_SUCCESS)
    return std::nullopt;
  data.resize(size);
  return data;
}

bool writeRaw(HKEY root, const std::string& key, const std::string& name, DWORD type, const void* data, DWORD size) {
  Key k;
  if (!openKey(root, key, KEY_SET_VALUE, k, true)) return false;
  LONG rc = RegSetValueExA(k.h, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  if (rc != ERROR_SUCCESS) {
    setError("cannot write registry value " + key + "\\" + name);
    return false;
  }
  return true;
}
}  // namespace

std::optional<std::string> regReadString(HKEY root, const std::string& key, const std::string& name) {
  DWORD type = 0;
  auto v = readRaw(root, key, name, type);
  if (!v) return v;
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    setError("registry value " + name + " is not a string");
    return std::nullopt;
  }
  while (!v->empty() && v->back() == '\0') v->pop_back();
  return v;
}

std::optional<DWORD> regReadDword(HKEY root, const std::string& key, const std::string& name) {
  DWORD type = 0;
  auto v = readRaw(root, key, name, type);
  if (!v) return std::nullopt;
  if (type != REG_DWORD || v->size() != sizeof(DWORD)) {
    setError("registry value " + name + " is not a DWORD");
    return std::nullopt;
  }
  DWORD d;
  memcpy(&d, v->data(), sizeof d);
  return d;
}

std::optional<std::string> regReadBinary(HKEY root, const std::string& key, const std::string& name) {
  DWORD type = 0;
  return readRaw(root, key, name, type);
}

bool regWriteString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
  return writeRaw(root, key, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

bool regWriteDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  return writeRaw(root, key, name, REG_DWORD, &value, sizeof value);
}

bool regWriteBinary(HKEY root, const std::string& key, const std::string& name, const std::string& bytes) {
  return writeRaw(root, key, name, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

bool regDeleteValue(HKEY root, const std::string& key, const std::string& name) {
  Key k;
  if (!openKey(root, key, KEY_SET_VALUE, k, false)) return false;
  if (RegDeleteValueA(k.h, name.c_str()) != ERROR_SUCCESS) {
    setError("cannot delete registry value " + name);
    return false;
  }
  return true;
}

bool regDeleteKey(HKEY root, const std::string& key) {
  LONG rc = SHDeleteKeyA(root, key.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
    setError("cannot delete registry key " + key);
    return false;
  }
  return true;
}

bool regKeyExists(HKEY root, const std::string& key) {
  Key k;
  return RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k.h) == ERROR_SUCCESS;
}

std::vector<std::string> regValueNames(HKEY root, const std::string& key) {
  std::vector<std::string> names;
  Key k;
  if (!openKey(root, key, KEY_QUERY_VALUE, k, false)) return names;
  for (DWORD i = 0;; ++i) {
    char buf[16384];
    DWORD len = sizeof buf;
    if (RegEnumValueA(k.h, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(buf, len);
  }
  return names;
}

}  // namespace pv::test
