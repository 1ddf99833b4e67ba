// The window message archiver libraries send while they work, and the event type
// the archiver component raises for it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>

namespace pv::arc {

class TArchive;

// The library's extracting-information record; the component passes it on unread.
using PExtractingInfo = void*;

// Handler of "wm_arcextract": _nMode is the notification kind, Result (0 on entry)
// is the answer returned to the library. A std::function, so a handler is usually a
// lambda capturing the object it belongs to.
using TArcExtractEvent =
    std::function<void(TArchive* Sender, std::int32_t _nMode, PExtractingInfo _lpEis, std::int32_t& Result)>;

// Registers "wm_arcextract" with the window system. The program start calls it once,
// before any form exists; further calls change nothing.
void RegisterArcExtractMessage();

// The registered identifier. Registers on first use if the start did not, so that a
// caller never compares messages against 0 (which is WM_NULL).
UINT ArcExtractMessage();

}  // namespace pv::arc
