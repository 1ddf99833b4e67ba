// Inside unlha32.dll: the library-wide settings, error texts and the pieces one
// command is made of.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/arccmd.h"
#include "core/sjis.h"
#include "lzh/error.h"
#include "unlha32/unlha32.h"

namespace pv::unlha {

// Settings that outlive a command. Written by the setter entries, read by commands.
struct Settings {
  HINSTANCE module = nullptr;
  volatile LONG running = 0;         // 1 while a command runs (GetRunning)
  HWND notifyWindow = nullptr;       // SetOwnerWindow; read afresh before every message
  bool background = false;           // SetBackGroundMode
  bool cursorMode = false;           // SetCursorMode
};
Settings& settings();

// The registered "wm_arcextract" message.
UINT arcExtractMessage();

// A file that could not be read and was left out of an update.
struct Unreadable {
  std::string path;
  DWORD winError = 0;        // why Windows refused it; 0 for a size change
  bool sizeChanged = false;  // its size changed while it was read, twice
};

// An error of a command: its code, the file it is about and the Windows error behind it.
// UNLHA_WARN_UNREADABLE counts as failed() too, so that it is reported like one.
struct Failure {
  int code = UNLHA_OK;
  std::string file;   // path or member name; may be empty
  DWORD winError = 0; // GetLastError() of the failed call, 0 when none
  bool archiveKept = false;  // an existing archive was left as it was: the message says so
  bool archiveUpdated = false;  // UNLHA_WARN_UNREADABLE: an existing archive was replaced, not made
  std::vector<Unreadable> unreadable;  // UNLHA_WARN_UNREADABLE: the files left out
  bool failed() const { return code != UNLHA_OK; }
};

inline Failure fail(int code, std::string file = {}, DWORD winError = 0) {
  Failure f;
  f.code = code;
  f.file = std::move(file);
  f.winError = winError;
  return f;
}

// Japanese cause for an error code ("ファイルを読み込めません。").
const char* errorText(int code);
// Full message for the error box and the output buffer: cause, file, and the reason
// Windows gave when it is one a user can act on.
std::string failureMessage(const Failure& f);

// Codec error -> our code (the file is the codec's name or the given fallback).
int codeForCodecError(lzh::Error e);

// Writes text into the caller's output buffer, cut by whole Shift-JIS characters and
// always zero-terminated. Nothing happens when the buffer is null or of size 0.
void copyToOutput(const std::string& text, LPSTR output, DWORD outputSize);

// Fills a fixed record field with text cut by whole characters, zero-padded.
template <std::size_t N>
void setField(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), sjis::fitLength(text, N - 1));
}

// Windows time conversions for records and for level-0/1 members (local DOS times).
void unixToDos(std::int64_t unixTime, WORD& date, WORD& time);
std::int64_t localDosToUnix(std::uint32_t dosDateTime);

// The absolute path Windows makes of path (GetFullPathName); path itself when it cannot.
std::string fullPath(const std::string& path);

// Commands (command.cpp). memory: UnLhaExtractMem's buffer; the command must then be x or e.
struct MemoryTarget;
int runCommand(HWND hwnd, const arccmd::CommandLine& cl, std::string& log, Failure& failure,
               MemoryTarget* memory = nullptr);

}  // namespace pv::unlha
