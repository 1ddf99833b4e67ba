#include "win/files.h"

#include <windows.h>

#include "core/error.h"
#include "core/messages.h"
#include "core/path.h"
#include "core/textlines.h"
#include "win/handle.h"

namespace pv::win {

const char* const kCannotCreate = msg::kCannotCreate;
const char* const kCannotOpen = msg::kCannotOpen;
const char* const kWriteError = msg::kWriteError;

namespace {
const char* const kReadError = msg::kReadError;

void writeAll(HANDLE h, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20)), written = 0;
    if (!::WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) throw Error(kWriteError);
    done += written;
  }
}
}  // namespace

std::string exePath() {
  std::string buf(MAX_PATH, '\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(buf.size() * 2);
  }
}

bool fileExists(const std::string& path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool dirExists(const std::string& path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string tempPath() {
  DWORD n = ::GetTempPathA(0, nullptr);
  std::string buf(n + 1, '\0');
  n = ::GetTempPathA(static_cast<DWORD>(buf.size()), buf.data());
  buf.resize(n);
  return buf;
}

std::vector<std::string> loadLines(const std::string& path) {
  FileHandle f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) throw Error(formatText(kCannotOpen, path));
  std::string text;
  char buf[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(f.get(), buf, sizeof buf, &got, nullptr)) throw Error(kReadError);
    if (got == 0) break;
    text.append(buf, got);
  }
  return splitLines(text);
}

void saveLines(const std::string& path, const std::vector<std::string>& lines) {
  FileHandle f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) throw Error(formatText(kCannotCreate, path));
  writeAll(f.get(), joinLines(lines));
}

void replaceFileContent(const std::string& path, const std::string& bytes) {
  // Windows refuses to write a read-only file; a rename onto it would replace it
  // (and drop the attribute) under Wine.
  const DWORD attrs = ::GetFileAttributesA(path.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY)) throw Error(formatText(kCannotCreate, path));
  std::string dir = path::dirPart(path);
  char temp[MAX_PATH + 16];
  // A uniquely named file beside the target, so that the final rename stays
  // within one folder (and one volume).
  if (!::GetTempFileNameA(dir.empty() ? "." : dir.c_str(), "pv", 0, temp)) throw Error(formatText(kCannotCreate, path));
  struct TempFile {
    std::string name;
    bool keep = false;
    ~TempFile() {
      if (!keep) ::DeleteFileA(name.c_str());
    }
  } tmp{temp};
  {
    FileHandle f(::CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) throw Error(formatText(kCannotCreate, path));
    writeAll(f.get(), bytes);
    if (!::FlushFileBuffers(f.get())) throw Error(kWriteError);
  }
  if (!::MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw Error(formatText(kCannotCreate, path));
  tmp.keep = true;
}

}  // namespace pv::win
