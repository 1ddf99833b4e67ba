// Helpers shared by the driver's source files; not for tests.
#pragma once
#include <windows.h>

#include <string>

namespace pv::test::detail {

void setError(const std::string& what);
void clearError();

std::string wideToAnsi(const wchar_t* s, int len = -1);
std::wstring ansiToWide(const std::string& s);

// SendMessageTimeoutW with a hang guard: false when the target hangs or is gone.
bool sendW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result = nullptr,
           DWORD timeoutMs = 10000);

// Memory inside the process owning a window, for messages whose pointers Wine does
// not carry across processes (common controls).
class RemoteBuffer {
 public:
  RemoteBuffer(HWND owner, size_t size);
  ~RemoteBuffer();
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool ok() const { return mem_ != nullptr; }
  LPARAM address(size_t offset = 0) const { return reinterpret_cast<LPARAM>(static_cast<char*>(mem_) + offset); }
  bool write(const void* data, size_t size, size_t offset = 0);
  bool read(void* data, size_t size, size_t offset = 0) const;

 private:
  HANDLE process_ = nullptr;
  void* mem_ = nullptr;
  size_t size_ = 0;
};

POINT centre(const RECT& r);

}  // namespace pv::test::detail
