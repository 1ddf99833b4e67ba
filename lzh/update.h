// Updating an archive (the `u` command): add what the archive lacks, replace what is
// newer on disk, copy everything else untouched.
//
//   std::vector<Entry> entries = ...;           // names, times, a way to open each file
//   UpdateOptions opt; opt.progress = ...;
//   UpdateResult r = updateArchive(existingOrNull, entries, tempSink, opt);
//   if (r.status.ok()) { Status v = verifyArchive(tempSource, r); ... }
//
// Decisions, per entry (names compared with nameKey(): ASCII case folded by whole
// Shift-JIS characters):
//   - no member of that name          -> Add (appended after the old members, in entry order)
//   - member exists, entry is newer   -> Replace (written at the old member's place)
//   - otherwise                       -> the member is kept
//   "Newer": entry.times.lastWrite against the member's ext-0x41 last-write time when it
//   has one; otherwise against its stored time at the stored resolution (whole seconds for
//   level 2, two seconds for DOS times), so a member stored with a coarser clock is not
//   replaced again on every run. An entry whose lastWrite is 0 (unknown) counts as newer.
//   Mode::Always replaces every listed member.
//   Members not named by any entry are kept. Kept members are copied byte for byte,
//   header included, never recompressed. A later entry with the same name as an earlier
//   one is skipped.
// Files are compressed with -lh5-, or stored as -lh0- when that would not be smaller.
// Folder entries (isFolder) become -lhd- members when options.storeFolders is set and
// are ignored otherwise. The output always ends with one 0x00 end mark.
//
// Unreadable files: with options.skipUnreadable an entry whose file cannot be opened or
// read, or whose size differs from its size at opening on two reads in a row, is left
// out instead of failing the run: its old member is kept as it is, or it gets none.
// UpdateResult::skipped lists those entries.
//
// Failure: the first error stops the run and is returned (the sink then holds a partial
// archive; the caller discards it). A damaged existing archive is an error before
// anything is written. Entries of 4 GiB or more are refused with Error::TooLarge before
// anything is written.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lzh/codec.h"
#include "lzh/error.h"
#include "lzh/header.h"
#include "lzh/io.h"

namespace pv::lzh {

struct Entry {
  std::string name;  // member path, Shift-JIS, '\' separators, relative (no drive, no leading '\')
  bool isFolder = false;
  std::uint64_t size = 0;                   // expected size; the data actually read is what gets stored
  std::uint16_t attributes = kAttrArchive;  // DOS attribute bits (others are dropped)
  FileTimes times;                          // lastWrite is the modification time
  // Opens the file's data; nullptr = cannot open (Error::ReadFailed). May be called
  // again for the same entry: when a file that does not compress is stored, and when
  // its size changed while it was read.
  std::function<std::unique_ptr<InputStream>()> open;
};

enum class Action { Add, Replace, Keep };

enum class ProgressKind {
  Begin,      // count = members to add or replace; total = their file sizes plus the
              // bytes of kept members to copy (the bar runs over both)
  FileBegin,  // name/action of the member about to be written
  Bytes,      // done/total advanced (called every 64 KiB or so)
  FileEnd,
  Verify,     // verifyArchive: name of the member being checked; done/total in bytes
  Wait,       // nothing new: worker threads are still making the next member (about
              // every 20 ms while they do, so that a window stays alive)
  End,
};

struct Progress {
  ProgressKind kind = ProgressKind::Begin;
  std::string_view name;  // Shift-JIS member name (FileBegin, FileEnd, Verify)
  Action action = Action::Add;
  std::size_t count = 0;  // Begin: number of members to add or replace
  std::uint64_t done = 0;
  std::uint64_t total = 0;
};

// Answer false to cancel (Error::Cancelled).
using ProgressFn = std::function<bool(const Progress&)>;

class WrittenCheck;

struct UpdateOptions {
  enum class Mode { Newer, Always };
  Mode mode = Mode::Newer;
  bool storeFolders = true;
  ProgressFn progress;
  // Converts a level-0/1 member's DOS time (local time) to Unix UTC seconds. Unset:
  // dosTimeToUnix() from timestamps.h, i.e. the DOS time is taken as UTC.
  std::function<std::int64_t(std::uint32_t)> dosTimeToUnix;
  EncoderOptions encoder;  // how new members are compressed
  // Set: existing members it answers true for are left out of the written archive
  // (the `d` command). Everything else is copied as always.
  std::function<bool(const Member&)> remove;
  bool skipUnreadable = false;  // see "Unreadable files" above
  // Threads that make new members (at most 1 = all on the calling thread). The archive
  // is the same whatever the number; the callbacks (progress, Entry::open) run on the
  // calling thread except Entry::open, which then runs on the workers.
  int threads = 1;
  std::function<void()> onWorkerStart;  // called on each worker thread as it starts
  // Told how long each new member took to make (open, read, compress), on the thread
  // that made it; for a time profile.
  std::function<void(std::chrono::steady_clock::duration)> memberTime;
  // Set: told each new member as it is complete, so that it is checked while the rest
  // are made (see WrittenCheck).
  WrittenCheck* check = nullptr;
};

// What updateArchive will do; computed without writing anything.
struct UpdatePlan {
  std::vector<Member> existing;              // members of the old archive, in order
  std::vector<int> replacedBy;               // per existing member: entry index or -1 (kept)
  std::vector<std::size_t> added;            // entry indices to append, in order
  std::vector<Action> entryAction;           // per entry: Add, Replace, or Keep (nothing to do)
  std::vector<bool> removed;                 // per existing member: left out (options.remove)
  std::uint64_t bytesToCompress = 0;         // sum of sizes of files to add or replace
  std::size_t changes() const;               // number of members added, replaced or removed
};

Status planUpdate(ByteSource* existing, const std::vector<Entry>& entries, const UpdateOptions& options,
                  UpdatePlan& plan);

struct WrittenMember {
  std::string path;
  Action action = Action::Keep;
  std::uint64_t headerOffset = 0;  // in the written archive
};

struct SkippedEntry {
  std::string name;          // the entry's member name
  bool sizeChanged = false;  // read to the end twice, at another size than at opening
};

struct UpdateResult {
  Status status;
  std::vector<SkippedEntry> skipped;   // entries left out (options.skipUnreadable)
  std::vector<WrittenMember> members;  // every member of the written archive, in order
  std::size_t added = 0, replaced = 0, kept = 0, removed = 0;
  std::uint64_t newestWriteTime = 0;   // FILETIME of the newest member in the written archive, 0 if none
};

// existing may be nullptr (no archive yet); an existing source of size 0 counts as empty.
UpdateResult updateArchive(ByteSource* existing, const std::vector<Entry>& entries, ByteSink& out,
                           const UpdateOptions& options);

// Re-reads the written archive: every member must parse, the members must be the ones
// `written` lists, and every added or replaced member is decoded and its CRC-16 and size
// checked. Errors: DamagedArchive, CrcMismatch, CorruptData, ArchiveReadFailed, Cancelled.
// With threads > 1 members are decoded on that many worker threads (each calls
// onWorkerStart first); `written` is only read on the calling thread, and the answer is
// the same as with one. The same as WrittenCheck::finish with nothing checked early.
Status verifyArchive(ByteSource& written, const UpdateResult& result, const ProgressFn& progress = {},
                     int threads = 1, const std::function<void()>& onWorkerStart = {});

// The check of verifyArchive, begun while the archive is still being written: a backup
// of many files then does not wait for all of its members to be decoded again after the
// last one is written.
//   FileSink sink(...);  WrittenCheck check(readBack, [&] { return sink.inFile(); }, threads);
//   options.check = &check;  r = updateArchive(old, entries, sink, options);
//   sink.finish();  Status v = check.finish(writtenSource, r, progress);
// updateArchive tells it each new member (added or replaced) as the member is complete.
// On the writer's thread, between members and while it waits for a worker, the members
// the file already holds (the first stored() bytes) are read back from `file`, a
// run of back-to-back members in one read, and handed to the check's own worker
// threads, which parse each header from those bytes and decode the data. finish()
// then walks the finished archive as verifyArchive does, checks that each member
// checked early is listed there with the same header, checks the members not yet
// handed over, and answers the first failure in archive order (the answer is the same
// as verifyArchive's for any timing). `file` is read on the writer's thread only; it
// never reads past stored(), and it must not cache bytes beyond what it was asked for
// (the member being made may still be cut back there). A failure found early does not
// stop the writing: finish() answers it. `threads` check threads (each calls
// onWorkerStart first), and from finish() on, when there are, finishThreads; 0 threads:
// nothing is checked before finish(), which then decodes every member on the calling
// thread.
class WrittenCheck {
 public:
  WrittenCheck(ByteSource& file, std::function<std::uint64_t()> stored, int threads,
               const std::function<void()>& onWorkerStart = {}, int finishThreads = 0);
  ~WrittenCheck();
  WrittenCheck(const WrittenCheck&) = delete;
  WrittenCheck& operator=(const WrittenCheck&) = delete;
  // Member `index` of UpdateResult::members, of that name, lies complete at [from, to).
  void written(std::size_t index, std::string_view name, std::uint64_t from, std::uint64_t to);
  // Hands over what the file holds of the members told so far (writer's thread).
  void pump();
  // Members checked before finish(), for the profile and tests.
  std::size_t checkedEarly() const;
  Status finish(ByteSource& written, const UpdateResult& result, const ProgressFn& progress = {});

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A file's last-write time (FILETIME ticks) against a member's, at the member's own
// resolution (see "Newer" above): < 0 the file is older, 0 the same, > 0 newer.
// dosTimeToUnix as in UpdateOptions (unset: taken as UTC).
int compareWithMember(std::uint64_t fileTime, const Member& m,
                      const std::function<std::int64_t(std::uint32_t)>& dosTimeToUnix);
// The member's modification time as FILETIME ticks: ext 0x41 when stored, else the
// header's time.
std::uint64_t memberWriteTime(const Member& m, const std::function<std::int64_t(std::uint32_t)>& dosTimeToUnix);

}  // namespace pv::lzh
