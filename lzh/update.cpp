#include "lzh/update.h"

#include <algorithm>
#include <map>
#include <set>

#include "lzh/archive.h"
#include "lzh/codec.h"
#include "lzh/crc16.h"
#include "lzh/timestamps.h"

namespace pv::lzh {
namespace {

constexpr std::uint64_t kMaxMemberSize = 0xFFFFFFFFull;  // 32-bit size fields at level 2
constexpr std::size_t kChunk = 1u << 16;       // file reads and progress steps
constexpr std::size_t kCopyChunk = 1u << 20;  // copying kept members

std::int64_t memberUnixTime(const Member& m, const UpdateOptions& opt) {
  if (!m.timeIsDos) return m.unixTime;
  return opt.dosTimeToUnix ? opt.dosTimeToUnix(m.rawTime) : dosTimeToUnix(m.rawTime);
}

std::uint64_t memberWriteTime(const Member& m, const UpdateOptions& opt) {
  if (m.hasWinTimes && m.winTimes.lastWrite) return m.winTimes.lastWrite;
  return unixToFileTime(memberUnixTime(m, opt));
}

// Compares at the member's own resolution, so a member stored with whole (or even)
// seconds is not "older" than the file it was made from.
bool entryIsNewer(const Entry& e, const Member& m, const UpdateOptions& opt) {
  if (e.times.lastWrite == 0) return true;
  if (m.hasWinTimes && m.winTimes.lastWrite) return e.times.lastWrite > m.winTimes.lastWrite;
  std::int64_t t = fileTimeToUnix(e.times.lastWrite);
  if (m.timeIsDos) t -= ((t % 2) + 2) % 2;
  return t > memberUnixTime(m, opt);
}

std::uint32_t clampUnix(std::int64_t t) {
  if (t < 0) return 0;
  if (t > 0xFFFFFFFFll) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(t);
}

HeaderFields fieldsFor(const Entry& e) {
  HeaderFields f;
  f.method = e.isFolder ? Method::Lhd : Method::Lh5;
  f.path = e.name;
  f.attributes = e.attributes;
  f.unixTime = clampUnix(fileTimeToUnix(e.times.lastWrite));
  f.hasWinTimes = e.times.creation || e.times.lastWrite || e.times.lastAccess;
  f.winTimes = e.times;
  return f;
}

class Run {
 public:
  Run(ByteSource* existing, const std::vector<Entry>& entries, ByteSink& out, const UpdateOptions& opt,
      UpdateResult& r)
      : existing_(existing), entries_(entries), out_(out), opt_(opt), r_(r), buf_(kCopyChunk) {}

  Status go() {
    UpdatePlan plan;
    Status s = planUpdate(existing_, entries_, opt_, plan);
    if (!s.ok()) return s;
    total_ = plan.bytesToCompress;
    for (std::size_t i = 0; i < plan.existing.size(); ++i)
      if (plan.replacedBy[i] < 0) total_ += plan.existing[i].endOffset() - plan.existing[i].headerOffset;
    Progress p;
    p.kind = ProgressKind::Begin;
    p.count = plan.changes();
    p.total = total_;
    if (!report(p)) return cancelled();

    // Order: old members where they were (replacements in place), then additions.
    // Kept members that lie next to each other are copied as one run.
    std::size_t i = 0;
    while (i < plan.existing.size()) {
      const int j = plan.replacedBy[i];
      if (j >= 0) {
        s = writeOrSkip(entries_[j], Action::Replace, plan.existing, i);
        if (!s.ok()) return s;
        ++i;
        continue;
      }
      std::size_t k = i + 1;
      while (k < plan.existing.size() && plan.replacedBy[k] < 0 &&
             plan.existing[k].headerOffset == plan.existing[k - 1].endOffset())
        ++k;
      s = copyMembers(plan.existing, i, k);
      if (!s.ok()) return s;
      i = k;
    }
    for (std::size_t j : plan.added) {
      s = writeOrSkip(entries_[j], Action::Add, plan.existing, 0);
      if (!s.ok()) return s;
    }
    const std::uint8_t endMark = 0;
    if (!out_.write(&endMark, 1)) return writeFailed({});
    p = Progress();
    p.kind = ProgressKind::End;
    p.done = done_;
    p.total = total_;
    if (!report(p)) return cancelled();
    return {};
  }

 private:
  bool report(const Progress& p) { return !opt_.progress || opt_.progress(p); }
  static Status cancelled() { return Status::fail(Error::Cancelled, {}, "cancelled"); }
  static Status writeFailed(const std::string& name) {
    return Status::fail(Error::WriteFailed, name, "the output refused data (disk full?)");
  }

  // Advances the byte count; false when the callback cancels.
  bool advance(std::uint64_t n) {
    done_ += n;
    if (done_ - lastReport_ < kChunk && done_ != total_) return true;
    lastReport_ = done_;
    Progress p;
    p.kind = ProgressKind::Bytes;
    p.name = current_;
    p.done = done_;
    p.total = total_;
    return report(p);
  }

  void note(const std::string& path, Action a, std::uint64_t offset, std::uint64_t writeTime) {
    r_.members.push_back({path, a, offset});
    r_.newestWriteTime = std::max(r_.newestWriteTime, writeTime);
    if (a == Action::Add) ++r_.added;
    if (a == Action::Replace) ++r_.replaced;
    if (a == Action::Keep) ++r_.kept;
  }

  // Copies members [first, last), which lie back to back in the old archive, byte for byte.
  Status copyMembers(const std::vector<Member>& ms, std::size_t first, std::size_t last) {
    const std::uint64_t from = ms[first].headerOffset, to = ms[last - 1].endOffset();
    const std::uint64_t outAt = out_.position();
    for (std::size_t i = first; i < last; ++i)
      note(ms[i].path, Action::Keep, outAt + (ms[i].headerOffset - from), memberWriteTime(ms[i], opt_));
    current_ = ms[first].path;
    for (std::uint64_t at = from; at < to;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buf_.size(), to - at));
      if (!existing_->readAt(at, buf_.data(), n))
        return Status::fail(Error::ArchiveReadFailed, current_, "archive read failed");
      if (!out_.write(buf_.data(), n)) return writeFailed(current_);
      at += n;
      if (!advance(n)) return cancelled();
    }
    return {};
  }

  // Writes an entry's member. With skipUnreadable, a file that cannot be read is left
  // out: the output is cut back to where its member began and the old member (of a
  // replacement) copied instead, so nothing older is lost.
  Status writeOrSkip(const Entry& e, Action action, const std::vector<Member>& old, std::size_t oldIndex) {
    const std::uint64_t at = out_.position();
    sizeChanged_ = false;
    Status s = writeEntry(e, action);
    if (s.ok() || !opt_.skipUnreadable || s.error != Error::ReadFailed) return s;
    if (!out_.truncate(at)) return writeFailed(e.name);
    r_.skipped.push_back({e.name, sizeChanged_});
    Progress p;
    p.kind = ProgressKind::FileEnd;
    p.name = e.name;
    p.action = action;
    p.done = done_;
    p.total = total_;
    if (!report(p)) return cancelled();
    if (action == Action::Replace) return copyMembers(old, oldIndex, oldIndex + 1);
    return {};
  }

  Status writeEntry(const Entry& e, Action action) {
    current_ = e.name;
    Progress p;
    p.kind = ProgressKind::FileBegin;
    p.name = e.name;
    p.action = action;
    p.done = done_;
    p.total = total_;
    if (!report(p)) return cancelled();

    const HeaderFields f = fieldsFor(e);
    std::vector<std::uint8_t> header;
    Level2Layout layout;
    Status s = buildLevel2Header(f, header, &layout);
    if (!s.ok()) return s;
    const std::uint64_t offset = out_.position();
    if (!out_.write(header.data(), header.size())) return writeFailed(e.name);
    if (!e.isFolder) {
      s = writeData(e, header, layout, offset);
      if (!s.ok()) return s;
    }
    note(e.name, action, offset,
         e.times.lastWrite ? e.times.lastWrite : unixToFileTime(static_cast<std::int64_t>(f.unixTime)));
    p.kind = ProgressKind::FileEnd;
    p.done = done_;
    return report(p) ? Status() : cancelled();
  }

  // Reads the next chunk of a file into buf_ (k = 0 at its end), adding to its size and CRC.
  Status readChunk(InputStream& in, const std::string& name, std::size_t& k, std::uint64_t& size,
                   std::uint16_t& crc) {
    const std::ptrdiff_t n = in.read(buf_.data(), kChunk);
    if (n < 0) return Status::fail(Error::ReadFailed, name, "read error");
    k = static_cast<std::size_t>(n);
    size += k;
    if (size > kMaxMemberSize) return Status::fail(Error::TooLarge, name, "4 GiB or more");
    crc = crc16(buf_.data(), k, crc);
    return {};
  }

  // A file that ends at another size than it had when opened was changed while it was
  // read: its member would get a length the file never had.
  static bool sizeDiffers(InputStream& in, std::uint64_t size) {
    const std::int64_t atOpen = in.sizeAtOpen();
    return atOpen >= 0 && static_cast<std::uint64_t>(atOpen) != size;
  }
  Status sizeChanged(const std::string& name) {
    sizeChanged_ = true;
    return Status::fail(Error::ReadFailed, name, "size changed while read");
  }

  // Moves the bar to `size` bytes of the current file; bytes read again do not move it.
  bool progressTo(std::uint64_t size, std::uint64_t& counted) {
    if (size <= counted) return true;
    const std::uint64_t step = size - counted;
    counted = size;
    return advance(step);
  }

  // Writes the entry's data; a file that changes size while read is read once more.
  Status writeData(const Entry& e, std::vector<std::uint8_t>& header, const Level2Layout& layout,
                   std::uint64_t offset) {
    std::uint64_t counted = 0;
    for (int attempt = 0;; ++attempt) {
      sizeChanged_ = false;
      Status s = writeDataOnce(e, header, layout, offset, counted);
      if (!sizeChanged_ || attempt == 1) return s;
      if (!out_.truncate(offset + header.size())) return writeFailed(e.name);
    }
  }

  // Compresses the entry's data after its header, or stores it when that is not smaller,
  // then fills in the header.
  Status writeDataOnce(const Entry& e, std::vector<std::uint8_t>& header, const Level2Layout& layout,
                       std::uint64_t offset, std::uint64_t& counted) {
    std::unique_ptr<InputStream> in = e.open ? e.open() : nullptr;
    if (!in) return Status::fail(Error::ReadFailed, e.name, "cannot open");
    bool sinkFailed = false;
    Lh5Encoder enc(
        [&](const std::uint8_t* d, std::size_t n) {
          if (!out_.write(d, n)) sinkFailed = true;
          return !sinkFailed;
        },
        opt_.encoder);
    std::uint16_t crc = 0;
    std::uint64_t size = 0;
    bool giveUp = false;  // compression cannot win any more
    for (;;) {
      std::size_t k = 0;
      if (Status st = readChunk(*in, e.name, k, size, crc); !st.ok()) return st;
      if (k == 0) break;
      if (!enc.write(buf_.data(), k)) return writeFailed(e.name);
      if (!progressTo(size, counted)) return cancelled();
      if (e.size > 0 && enc.packedSize() >= e.size && enc.packedSize() >= size) {
        giveUp = true;
        break;
      }
    }
    if (!giveUp) {
      if (sizeDiffers(*in, size)) return sizeChanged(e.name);
      if (!enc.finish()) return writeFailed(e.name);
      if (enc.packedSize() < size) {
        patchLevel2Header(header, layout, Method::Lh5, static_cast<std::uint32_t>(enc.packedSize()),
                          static_cast<std::uint32_t>(size), crc);
        if (!out_.writeAt(offset, header.data(), header.size())) return writeFailed(e.name);
        return {};
      }
    }
    // Store: drop the compressed attempt and copy the file as it is.
    if (!out_.truncate(offset + header.size())) return writeFailed(e.name);
    in = e.open();
    if (!in) return Status::fail(Error::ReadFailed, e.name, "cannot open");
    crc = 0;
    size = 0;
    for (;;) {
      std::size_t k = 0;
      if (Status st = readChunk(*in, e.name, k, size, crc); !st.ok()) return st;
      if (k == 0) break;
      if (!out_.write(buf_.data(), k)) return writeFailed(e.name);
      if (!progressTo(size, counted)) return cancelled();
    }
    if (sizeDiffers(*in, size)) return sizeChanged(e.name);
    patchLevel2Header(header, layout, Method::Lh0, static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(size),
                      crc);
    if (!out_.writeAt(offset, header.data(), header.size())) return writeFailed(e.name);
    return {};
  }

  ByteSource* existing_;
  const std::vector<Entry>& entries_;
  ByteSink& out_;
  const UpdateOptions& opt_;
  UpdateResult& r_;
  std::vector<std::uint8_t> buf_;
  std::uint64_t total_ = 0, done_ = 0, lastReport_ = 0;
  std::string current_;
  bool sizeChanged_ = false;  // the last failed read of an entry was a size change
};

}  // namespace

std::size_t UpdatePlan::changes() const {
  std::size_t n = added.size();
  for (int j : replacedBy)
    if (j >= 0) ++n;
  return n;
}

Status planUpdate(ByteSource* existing, const std::vector<Entry>& entries, const UpdateOptions& options,
                  UpdatePlan& plan) {
  plan = UpdatePlan();
  if (existing && existing->size() > 0) {
    Status s = readArchive(*existing, plan.existing);
    if (!s.ok()) return s;
  }
  // The last member of a name is the one an extraction leaves behind, so that is
  // the one compared and replaced.
  std::map<std::string, std::size_t> byName;
  for (std::size_t i = 0; i < plan.existing.size(); ++i) byName[nameKey(plan.existing[i].path)] = i;
  plan.replacedBy.assign(plan.existing.size(), -1);
  plan.entryAction.assign(entries.size(), Action::Keep);

  std::set<std::string> seen;
  std::vector<std::uint8_t> scratch;
  for (std::size_t j = 0; j < entries.size(); ++j) {
    const Entry& e = entries[j];
    if (e.isFolder && !options.storeFolders) continue;
    if (!e.isFolder && e.size > kMaxMemberSize) return Status::fail(Error::TooLarge, e.name, "4 GiB or more");
    Status s = buildLevel2Header(fieldsFor(e), scratch);  // rejects names that cannot be stored
    if (!s.ok()) return s;
    const std::string key = nameKey(e.name);
    if (!seen.insert(key).second) continue;
    const auto it = byName.find(key);
    if (it == byName.end()) {
      plan.added.push_back(j);
      plan.entryAction[j] = Action::Add;
    } else if (options.mode == UpdateOptions::Mode::Always || entryIsNewer(e, plan.existing[it->second], options)) {
      plan.replacedBy[it->second] = static_cast<int>(j);
      plan.entryAction[j] = Action::Replace;
    } else {
      continue;
    }
    if (!e.isFolder) plan.bytesToCompress += e.size;
  }
  return {};
}

UpdateResult updateArchive(ByteSource* existing, const std::vector<Entry>& entries, ByteSink& out,
                           const UpdateOptions& options) {
  UpdateResult r;
  Run run(existing, entries, out, options, r);
  r.status = run.go();
  return r;
}

Status verifyArchive(ByteSource& written, const UpdateResult& result, const ProgressFn& progress) {
  std::vector<Member> members;
  Status s = readArchive(written, members);
  if (!s.ok()) return s;
  if (members.size() != result.members.size())
    return Status::fail(Error::DamagedArchive, {}, "written archive has a different number of members");
  std::uint64_t total = 0, done = 0;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const WrittenMember& w = result.members[i];
    if (members[i].headerOffset != w.headerOffset || nameKey(members[i].path) != nameKey(w.path))
      return Status::fail(Error::DamagedArchive, w.path, "written archive does not list the expected member");
    if (w.action != Action::Keep) total += members[i].originalSize;
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (result.members[i].action == Action::Keep) continue;
    const Member& m = members[i];
    if (progress) {
      Progress p;
      p.kind = ProgressKind::Verify;
      p.name = m.path;
      p.done = done;
      p.total = total;
      if (!progress(p)) return Status::fail(Error::Cancelled, {}, "cancelled");
    }
    s = extractMember(written, m, nullptr);
    if (!s.ok()) return s;
    done += m.originalSize;
  }
  return {};
}

}  // namespace pv::lzh
