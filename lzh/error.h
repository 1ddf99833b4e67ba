// Typed results of the LZH codec. Every fallible call answers a Status; the DLL
// maps Status::error to its own return codes and Japanese messages, and uses
// Status::name (Shift-JIS member or entry name, may be empty) in the message.
#pragma once
#include <string>

namespace pv::lzh {

enum class Error {
  Ok = 0,
  ReadFailed,         // an entry's file could not be opened or read (name = entry name)
  ArchiveReadFailed,  // the existing or written archive could not be read (I/O error)
  WriteFailed,        // the output refused bytes: disk full or I/O error
  Cancelled,          // the progress callback asked to stop
  DamagedArchive,     // the archive does not parse: bad header, bad header CRC, truncated member
  TooLarge,           // an entry of 4 GiB or more, or a header longer than 65535 bytes
  CrcMismatch,        // decoded data does not match the stored CRC-16 (or its size)
  CorruptData,        // the compressed stream itself is malformed
  UnsupportedMethod,  // a member method this codec cannot decode (-lh1-, -pm2-, ...)
  BadName,            // an entry name that cannot be stored (empty, empty component, "." or "..")
};

// Short English name for logs and test output ("DamagedArchive").
const char* errorName(Error e);

struct Status {
  Error error = Error::Ok;
  std::string name;    // entry or member name the error is about (Shift-JIS), if any
  std::string detail;  // technical detail in English, for logs

  bool ok() const { return error == Error::Ok; }
  explicit operator bool() const { return ok(); }

  static Status fail(Error e, std::string name = {}, std::string detail = {}) {
    Status s;
    s.error = e;
    s.name = std::move(name);
    s.detail = std::move(detail);
    return s;
  }
};

}  // namespace pv::lzh
