#include "lzh/error.h"

namespace pv::lzh {

const char* errorName(Error e) {
  switch (e) {
    case Error::Ok: return "Ok";
    case Error::ReadFailed: return "ReadFailed";
    case Error::ArchiveReadFailed: return "ArchiveReadFailed";
    case Error::WriteFailed: return "WriteFailed";
    case Error::Cancelled: return "Cancelled";
    case Error::DamagedArchive: return "DamagedArchive";
    case Error::TooLarge: return "TooLarge";
    case Error::CrcMismatch: return "CrcMismatch";
    case Error::CorruptData: return "CorruptData";
    case Error::UnsupportedMethod: return "UnsupportedMethod";
    case Error::BadName: return "BadName";
  }
  return "Unknown";
}

}  // namespace pv::lzh
