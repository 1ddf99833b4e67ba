// Version texts of a file's version resource, read the one way all our programs read
// them: the first translation names the string table.
#pragma once

#include <string>

#include "core/backup.h"

namespace pv::win {

// The FileVersion or ProductVersion text of file's version resource (at most 32
// bytes), empty when there is none.
std::string ReadVersionString(const std::string& file, backup::VersionKind which);

}  // namespace pv::win
