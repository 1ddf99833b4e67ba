// x, e (extract to files), d's member selection and UnLhaExtractMem: taking members out
// of an archive. Every file is decoded into a temporary file (in a work folder of its
// own in the target folder, or beside the file) and takes its name only after its size
// and CRC proved right; a member whose name would land outside the target folder is
// refused and never written, and one whose name resolves to a file an earlier member
// of the run wrote or kept is not extracted.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "core/arccmd.h"
#include "unlha32/internal.h"
#include "unlha32/progress.h"

namespace pv::unlha {

// What a command needs of the run it belongs to (the run lives in command.cpp).
struct RunContext {
  const arccmd::CommandLine& cl;
  const std::string& archive;  // full path
  UnlhaExtractingInfo& info;
  ProgressWindow& window;
  std::function<void(const char*)> openWindow;  // caption
  std::function<bool()> tick;                    // false once cancelled
  std::function<void(WPARAM)> notify;            // "wm_arcextract" of that kind
};

// The caller's buffer of UnLhaExtractMem and what it gets back.
struct MemoryTarget {
  LPBYTE buffer = nullptr;
  DWORD size = 0;
  DWORD written = 0;
  DWORD time = 0;        // modification time, Unix seconds (UTC)
  WORD attributes = 0;   // MS-DOS attributes
};

// x (with the stored folders) and e (file names alone) into cl.baseDir or the current folder.
Failure extractFiles(RunContext& run, std::string& log);
// The first file member the names select, into memory.
Failure extractToMemory(RunContext& run, MemoryTarget& target, std::string& log);

}  // namespace pv::unlha
