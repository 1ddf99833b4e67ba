#include "lzh/update.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "lzh/archive.h"
#include "lzh/codec.h"
#include "lzh/crc16.h"
#include "lzh/timestamps.h"

namespace pv::lzh {
namespace {

constexpr std::uint64_t kMaxMemberSize = 0xFFFFFFFFull;  // 32-bit size fields at level 2
constexpr std::size_t kChunk = 1u << 16;       // file reads and progress steps
constexpr std::size_t kCopyChunk = 1u << 20;  // copying kept members

using DosToUnix = std::function<std::int64_t(std::uint32_t)>;

std::int64_t memberUnixTime(const Member& m, const DosToUnix& dosToUnix) {
  if (!m.timeIsDos) return m.unixTime;
  return dosToUnix ? dosToUnix(m.rawTime) : dosTimeToUnix(m.rawTime);
}

bool entryIsNewer(const Entry& e, const Member& m, const UpdateOptions& opt) {
  return e.times.lastWrite == 0 || compareWithMember(e.times.lastWrite, m, opt.dosTimeToUnix) > 0;
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

// What making members needs besides the entries, kept by each thread from one member
// to the next: the read buffer and the encoder's tables.
struct Workspace {
  explicit Workspace(const EncoderOptions& options) : buf(kChunk), encoder({}, options) {}
  std::vector<std::uint8_t> buf;
  Lh5Encoder encoder;
};

// Makes one member (header and data) of an entry into a sink. Positions are the sink's
// own, so the same code writes straight into the archive or into a member's buffer of
// the worker pool. `progress(size)` is told how much of the file has been read and
// answers false to stop (Error::Cancelled).
class MemberMaker {
 public:
  using ProgressTo = std::function<bool(std::uint64_t)>;
  MemberMaker(const Entry& e, ByteSink& out, Workspace& ws, ProgressTo progress)
      : e_(e), out_(out), enc_(ws.encoder), buf_(ws.buf), progress_(std::move(progress)) {}

  Status make(const std::function<void(std::chrono::steady_clock::duration)>& timed) {
    if (!timed) return makeMember();
    const auto t0 = std::chrono::steady_clock::now();
    Status s = makeMember();
    timed(std::chrono::steady_clock::now() - t0);
    return s;
  }
  bool changedWhileRead() const { return sizeChanged_; }

 private:
  Status makeMember() {
    const HeaderFields f = fieldsFor(e_);
    std::vector<std::uint8_t> header;
    Level2Layout layout;
    Status s = buildLevel2Header(f, header, &layout);
    if (!s.ok()) return s;
    const std::uint64_t offset = out_.position();
    if (!out_.write(header.data(), header.size())) return writeFailed(e_.name);
    if (e_.isFolder) return {};
    return writeData(header, layout, offset);
  }

  static Status cancelled() { return Status::fail(Error::Cancelled, {}, "cancelled"); }
  static Status writeFailed(const std::string& name) {
    return Status::fail(Error::WriteFailed, name, "the output refused data (disk full?)");
  }

  // Reads the next chunk of a file into buf_ (k = 0 at its end), adding to its size and CRC.
  Status readChunk(InputStream& in, std::size_t& k, std::uint64_t& size, std::uint16_t& crc) {
    const std::ptrdiff_t n = in.read(buf_.data(), kChunk);
    if (n < 0) return Status::fail(Error::ReadFailed, e_.name, "read error");
    k = static_cast<std::size_t>(n);
    size += k;
    if (size > kMaxMemberSize) return Status::fail(Error::TooLarge, e_.name, "4 GiB or more");
    crc = crc16(buf_.data(), k, crc);
    return {};
  }

  // A file that ends at another size than it had when opened was changed while it was
  // read: its member would get a length the file never had.
  static bool sizeDiffers(InputStream& in, std::uint64_t size) {
    const std::int64_t atOpen = in.sizeAtOpen();
    return atOpen >= 0 && static_cast<std::uint64_t>(atOpen) != size;
  }
  Status failSizeChanged() {
    sizeChanged_ = true;
    return Status::fail(Error::ReadFailed, e_.name, "size changed while read");
  }

  // Writes the entry's data; a file that changes size while read is read once more.
  Status writeData(std::vector<std::uint8_t>& header, const Level2Layout& layout, std::uint64_t offset) {
    for (int attempt = 0;; ++attempt) {
      sizeChanged_ = false;
      Status s = writeDataOnce(header, layout, offset);
      if (!sizeChanged_ || attempt == 1) return s;
      if (!out_.truncate(offset + header.size())) return writeFailed(e_.name);
    }
  }

  // Compresses the entry's data after its header, or stores it when that is not smaller,
  // then fills in the header.
  Status writeDataOnce(std::vector<std::uint8_t>& header, const Level2Layout& layout, std::uint64_t offset) {
    std::unique_ptr<InputStream> in = e_.open ? e_.open() : nullptr;
    if (!in) return Status::fail(Error::ReadFailed, e_.name, "cannot open");
    bool sinkFailed = false;
    Lh5Encoder& enc = enc_;
    enc.restart([&](const std::uint8_t* d, std::size_t n) {
      if (!out_.write(d, n)) sinkFailed = true;
      return !sinkFailed;
    });
    std::uint16_t crc = 0;
    std::uint64_t size = 0;
    bool giveUp = false;  // compression cannot win any more
    for (;;) {
      std::size_t k = 0;
      if (Status st = readChunk(*in, k, size, crc); !st.ok()) return st;
      if (k == 0) break;
      if (!enc.write(buf_.data(), k)) return writeFailed(e_.name);
      if (!progress_(size)) return cancelled();
      if (e_.size > 0 && enc.packedSize() >= e_.size && enc.packedSize() >= size) {
        giveUp = true;
        break;
      }
    }
    if (!giveUp) {
      if (sizeDiffers(*in, size)) return failSizeChanged();
      if (!enc.finish()) return writeFailed(e_.name);
      if (enc.packedSize() < size) {
        patchLevel2Header(header, layout, Method::Lh5, static_cast<std::uint32_t>(enc.packedSize()),
                          static_cast<std::uint32_t>(size), crc);
        if (!out_.writeAt(offset, header.data(), header.size())) return writeFailed(e_.name);
        return {};
      }
    }
    // Store: drop the compressed attempt and copy the file as it is.
    if (!out_.truncate(offset + header.size())) return writeFailed(e_.name);
    in = e_.open();
    if (!in) return Status::fail(Error::ReadFailed, e_.name, "cannot open");
    crc = 0;
    size = 0;
    for (;;) {
      std::size_t k = 0;
      if (Status st = readChunk(*in, k, size, crc); !st.ok()) return st;
      if (k == 0) break;
      if (!out_.write(buf_.data(), k)) return writeFailed(e_.name);
      if (!progress_(size)) return cancelled();
    }
    if (sizeDiffers(*in, size)) return failSizeChanged();
    patchLevel2Header(header, layout, Method::Lh0, static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(size),
                      crc);
    if (!out_.writeAt(offset, header.data(), header.size())) return writeFailed(e_.name);
    return {};
  }

  const Entry& e_;
  ByteSink& out_;
  Lh5Encoder& enc_;
  std::vector<std::uint8_t>& buf_;
  ProgressTo progress_;
  bool sizeChanged_ = false;  // the last failed read was a size change
};

// Members made by worker threads, handed to the one thread that writes the archive in
// the order of the jobs. A member's bytes wait in memory until the writer takes them;
// all waiting bytes together stay under kBudget (a worker whose member is not the next
// to be written stops until the writer catches up), so memory stays bounded whatever
// the files. The bytes of each member are those MemberMaker makes on one thread, so the
// archive is the same for any number of threads.
class Pool {
 public:
  struct Job {
    const Entry* entry;
  };
  // What a member's maker left for the writer since the writer last looked.
  struct Taken {
    struct Op {
      bool cut;  // true: cut the member back to `at`; false: overwrite bytes at `at`
      std::uint64_t at;
      std::vector<std::uint8_t> bytes;
    };
    std::vector<Op> ops;              // in order, before `tail`
    std::vector<std::uint8_t> tail;   // appended at the member's end
    std::uint64_t read = 0;           // bytes of the file read so far
    bool done = false;
    Status status;
    bool sizeChanged = false;
  };

  Pool(std::vector<Job> jobs, int threads, const UpdateOptions& opt) : jobs_(std::move(jobs)), opt_(opt) {
    slots_.reset(new Slot[jobs_.size()]);
    for (std::size_t i = 0; i < jobs_.size(); ++i) slots_[i].pool = this;
    for (int i = 0; i < threads; ++i) {
      try {
        workers_.emplace_back([this] { work(); });
      } catch (...) {
        if (workers_.empty()) throw;  // not even one thread
        break;
      }
    }
  }
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(m_);
      abort_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  // Makes job k the one being written (jobs are written in order).
  void begin(std::size_t k) {
    std::lock_guard<std::mutex> lock(m_);
    head_ = k;
    changed_.notify_all();
  }
  // Waits up to waitMs for news of job k and takes it.
  Taken take(std::size_t k, int waitMs) {
    std::unique_lock<std::mutex> lock(m_);
    Slot& s = slots_[k];
    news_.wait_for(lock, std::chrono::milliseconds(waitMs),
                   [&] { return s.done || !s.ops.empty() || !s.tail.empty(); });
    Taken t;
    t.ops.swap(s.ops);
    t.tail.swap(s.tail);
    for (const Taken::Op& op : t.ops) buffered_ -= op.bytes.size();
    buffered_ -= t.tail.size();
    s.handedEnd = s.pos;
    t.read = s.read;
    t.done = s.done;
    if (s.done) {
      t.status = s.status;
      t.sizeChanged = s.sizeChanged;
      if (s.error) std::rethrow_exception(s.error);
    }
    changed_.notify_all();
    return t;
  }

 private:
  static constexpr std::uint64_t kBudget = 32u << 20;
  static constexpr std::size_t kWakeBatch = 8;

  // The sink one member is made into; positions count from the member's first byte.
  struct Slot : ByteSink {
    Pool* pool = nullptr;
    std::vector<Taken::Op> ops;
    std::vector<std::uint8_t> tail;  // bytes from handedEnd to pos
    std::uint64_t pos = 0, handedEnd = 0, read = 0;
    bool done = false, sizeChanged = false;
    Status status;
    std::exception_ptr error;

    bool write(const void* data, std::size_t n) override {
      std::unique_lock<std::mutex> lock(pool->m_);
      if (!pool->roomFor(*this, lock)) return false;
      const auto* p = static_cast<const std::uint8_t*>(data);
      tail.insert(tail.end(), p, p + n);
      pos += n;
      pool->buffered_ += n;
      if (pool->isHead(*this)) pool->news_.notify_all();  // only the head is waited for
      return true;
    }
    std::uint64_t position() override { return pos; }
    bool writeAt(std::uint64_t offset, const void* data, std::size_t n) override {
      std::lock_guard<std::mutex> lock(pool->m_);
      if (offset > pos || n > pos - offset) return false;
      const auto* p = static_cast<const std::uint8_t*>(data);
      if (offset < handedEnd) {  // the part the writer has: it overwrites it there
        const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, handedEnd - offset));
        ops.push_back({false, offset, std::vector<std::uint8_t>(p, p + k)});
        pool->buffered_ += k;
        p += k;
        n -= k;
        offset += k;
      }
      if (n) std::memcpy(tail.data() + (offset - handedEnd), p, n);
      return true;
    }
    bool truncate(std::uint64_t size) override {
      std::lock_guard<std::mutex> lock(pool->m_);
      if (size > pos) return false;
      if (size >= handedEnd) {
        pool->buffered_ -= tail.size() - (size - handedEnd);
        tail.resize(static_cast<std::size_t>(size - handedEnd));
      } else {
        pool->buffered_ -= tail.size();
        tail.clear();
        ops.push_back({true, size, {}});
        handedEnd = size;
      }
      pos = size;
      return true;
    }
  };

  // A member's first kStage bytes are made in the worker's own buffer and handed to
  // its slot in one go, at the end or once it has grown past that: most members of a
  // backup are small, and every hand-over costs a lock and often wakes the writer
  // (under Wine each of those is a call to the server).
  static constexpr std::size_t kStage = 256u << 10;
  struct Staged : ByteSink {
    Staged(Slot& slot, MemorySink& local) : s(slot), mem(local) { mem.bytes.clear(); }
    Slot& s;
    MemorySink& mem;
    bool passing = false;  // handed over: everything goes straight to the slot

    ByteSink& to() { return passing ? static_cast<ByteSink&>(s) : mem; }
    bool write(const void* data, std::size_t n) override {
      if (passing) return s.write(data, n);
      mem.write(data, n);
      if (mem.bytes.size() < kStage) return true;
      passing = true;
      return s.write(mem.bytes.data(), mem.bytes.size());
    }
    std::uint64_t position() override { return to().position(); }
    bool writeAt(std::uint64_t offset, const void* data, std::size_t n) override { return to().writeAt(offset, data, n); }
    bool truncate(std::uint64_t size) override { return to().truncate(size); }
  };

  bool isHead(const Slot& s) const { return static_cast<std::size_t>(&s - slots_.get()) == head_; }
  // Whether the writer, waiting for the head member, should be woken now that a member
  // is done: once a batch of members from the head is done, not for each of them (each
  // wake is a round of calls to the system, under Wine to its server), or when no more
  // can follow soon: the rest are done, the next one is not begun or is being handed
  // over as it is made, or memory runs short.
  bool batchReady() const {
    std::size_t k = head_;
    while (k < jobs_.size() && slots_[k].done)
      if (++k - head_ >= kWakeBatch) return true;
    if (k == head_) return false;
    return k == jobs_.size() || k >= next_ || !slots_[k].tail.empty() || !slots_[k].ops.empty() ||
           buffered_ >= kBudget / 2;
  }
  // Whether the member may grow now: the one being written always may, the others
  // wait while too much is waiting. False once the run stops.
  bool roomFor(const Slot& s, std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [&] { return abort_ || isHead(s) || buffered_ < kBudget; });
    return !abort_;
  }

  void work() {
    if (opt_.onWorkerStart) opt_.onWorkerStart();
    Workspace ws(opt_.encoder);
    MemorySink stage;
    stage.bytes.reserve(kStage + kChunk);
    for (;;) {
      std::size_t k;
      {
        std::unique_lock<std::mutex> lock(m_);
        changed_.wait(lock, [&] { return abort_ || next_ >= jobs_.size() || next_ == head_ || buffered_ < kBudget; });
        if (abort_ || next_ >= jobs_.size()) return;
        k = next_++;
      }
      Slot& s = slots_[k];
      Staged staged(s, stage);
      std::uint64_t read = 0;  // while staged: told to the writer with the bytes
      Status st;
      bool sizeChanged = false;
      std::exception_ptr error;
      try {
        MemberMaker maker(*jobs_[k].entry, staged, ws, [this, &s, &staged, &read](std::uint64_t size) {
          if (!staged.passing) {
            read = size;
            return !abort_.load();
          }
          std::lock_guard<std::mutex> lock(m_);
          s.read = std::max(s.read, size);
          return !abort_;
        });
        st = maker.make(opt_.memberTime);
        sizeChanged = maker.changedWhileRead();
      } catch (...) {
        error = std::current_exception();
      }
      std::unique_lock<std::mutex> lock(m_);
      if (!staged.passing) {  // the budget may be passed by at most kStage per worker
        s.tail.insert(s.tail.end(), stage.bytes.begin(), stage.bytes.end());
        s.pos += stage.bytes.size();
        buffered_ += stage.bytes.size();
        s.read = std::max(s.read, read);
      }
      s.done = true;
      s.status = st;
      s.sizeChanged = sizeChanged;
      s.error = error;
      const bool wake = batchReady();
      lock.unlock();  // the writer wakes to a free lock
      if (wake) news_.notify_all();
    }
  }

  std::vector<Job> jobs_;
  const UpdateOptions& opt_;
  std::unique_ptr<Slot[]> slots_;
  std::vector<std::thread> workers_;
  std::mutex m_;
  std::condition_variable changed_;  // head, budget or abort changed: workers look
  std::condition_variable news_;     // a member has bytes or is done: the writer looks
  std::size_t next_ = 0, head_ = 0;
  std::uint64_t buffered_ = 0;
  std::atomic<bool> abort_{false};  // also read without the lock by staged members
};

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
      if (plan.replacedBy[i] < 0 && !plan.removed[i]) total_ += plan.existing[i].endOffset() - plan.existing[i].headerOffset;
    Progress p;
    p.kind = ProgressKind::Begin;
    p.count = plan.changes();
    p.total = total_;
    if (!report(p)) return cancelled();

    // The members to make, in the order they are written: replacements where their old
    // members were, then additions.
    if (opt_.threads > 1 && plan.changes() > 0) {
      std::vector<Pool::Job> jobs;
      for (int j : plan.replacedBy)
        if (j >= 0) jobs.push_back({&entries_[static_cast<std::size_t>(j)]});
      for (std::size_t j : plan.added) jobs.push_back({&entries_[j]});
      pool_ = std::make_unique<Pool>(std::move(jobs), opt_.threads, opt_);
    }

    // Kept members that lie next to each other are copied as one run.
    std::size_t i = 0;
    while (i < plan.existing.size()) {
      const int j = plan.replacedBy[i];
      if (plan.removed[i]) {
        ++r_.removed;
        ++i;
        continue;
      }
      if (j >= 0) {
        s = writeOrSkip(entries_[j], Action::Replace, plan.existing, i);
        if (!s.ok()) return s;
        ++i;
        continue;
      }
      std::size_t k = i + 1;
      while (k < plan.existing.size() && plan.replacedBy[k] < 0 && !plan.removed[k] &&
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
    pool_.reset();
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

  // Moves the bar to `size` bytes of the current file, a chunk at a time; bytes read
  // again do not move it.
  bool progressTo(std::uint64_t size, std::uint64_t& counted) {
    while (size > counted) {
      const std::uint64_t step = std::min<std::uint64_t>(size - counted, kChunk);
      counted += step;
      if (!advance(step)) return false;
    }
    return true;
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
      note(ms[i].path, Action::Keep, outAt + (ms[i].headerOffset - from), memberWriteTime(ms[i], opt_.dosTimeToUnix));
    current_ = ms[first].path;
    for (std::uint64_t at = from; at < to;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buf_.size(), to - at));
      if (!existing_->readAt(at, buf_.data(), n))
        return Status::fail(Error::ArchiveReadFailed, current_, "archive read failed");
      if (!out_.write(buf_.data(), n)) return writeFailed(current_);
      at += n;
      if (!advance(n)) return cancelled();
    }
    if (opt_.check) opt_.check->pump();  // the copy may have pushed new members into the file
    return {};
  }

  // Writes an entry's member. With skipUnreadable, a file that cannot be read is left
  // out: the output is cut back to where its member began and the old member (of a
  // replacement) copied instead, so nothing older is lost.
  Status writeOrSkip(const Entry& e, Action action, const std::vector<Member>& old, std::size_t oldIndex) {
    current_ = e.name;
    Progress p;
    p.kind = ProgressKind::FileBegin;
    p.name = e.name;
    p.action = action;
    p.done = done_;
    p.total = total_;
    if (!report(p)) return cancelled();

    const std::uint64_t at = out_.position();
    bool sizeChanged = false;
    Status s = pool_ ? takeMember(at, sizeChanged) : makeMember(e, sizeChanged);
    if (s.ok()) {
      const std::uint64_t t =
          e.times.lastWrite ? e.times.lastWrite : unixToFileTime(static_cast<std::int64_t>(fieldsFor(e).unixTime));
      note(e.name, action, at, t);
      if (opt_.check) {
        opt_.check->written(r_.members.size() - 1, e.name, at, out_.position());
        opt_.check->pump();
      }
    } else {
      if (!opt_.skipUnreadable || s.error != Error::ReadFailed) return s;
      if (!out_.truncate(at)) return writeFailed(e.name);
      r_.skipped.push_back({e.name, sizeChanged});
    }
    p.kind = ProgressKind::FileEnd;
    p.done = done_;
    if (!report(p)) return cancelled();
    if (!s.ok() && action == Action::Replace) return copyMembers(old, oldIndex, oldIndex + 1);
    return {};
  }

  // One thread: the member is made right into the archive.
  Status makeMember(const Entry& e, bool& sizeChanged) {
    std::uint64_t counted = 0;
    if (!ws_) ws_ = std::make_unique<Workspace>(opt_.encoder);
    MemberMaker maker(e, out_, *ws_, [this, &counted](std::uint64_t size) { return progressTo(size, counted); });
    Status s = maker.make(opt_.memberTime);
    sizeChanged = maker.changedWhileRead();
    return s;
  }

  // Worker threads: takes the next member's bytes as its maker leaves them. While
  // waiting, the progress callback is called at least every kWaitMs (ProgressKind::Wait),
  // so that a window stays alive and a cancel is heard.
  Status takeMember(std::uint64_t at, bool& sizeChanged) {
    static constexpr int kWaitMs = 20;
    const std::size_t k = job_++;
    pool_->begin(k);
    std::uint64_t counted = 0;
    for (;;) {
      Pool::Taken t = pool_->take(k, kWaitMs);
      for (const Pool::Taken::Op& op : t.ops) {
        const bool ok = op.cut ? out_.truncate(at + op.at) : out_.writeAt(at + op.at, op.bytes.data(), op.bytes.size());
        if (!ok) return writeFailed(current_);
      }
      if (!t.tail.empty() && !out_.write(t.tail.data(), t.tail.size())) return writeFailed(current_);
      if (!progressTo(t.read, counted)) return cancelled();
      if (opt_.check) opt_.check->pump();  // the writer would only wait: it reads back instead
      if (t.done) {
        sizeChanged = t.sizeChanged;
        return t.status;
      }
      if (t.ops.empty() && t.tail.empty()) {
        Progress p;
        p.kind = ProgressKind::Wait;
        p.name = current_;
        p.done = done_;
        p.total = total_;
        if (!report(p)) return cancelled();
      }
    }
  }

  ByteSource* existing_;
  const std::vector<Entry>& entries_;
  ByteSink& out_;
  const UpdateOptions& opt_;
  UpdateResult& r_;
  std::vector<std::uint8_t> buf_;
  std::uint64_t total_ = 0, done_ = 0, lastReport_ = 0;
  std::string current_;
  std::unique_ptr<Pool> pool_;
  std::unique_ptr<Workspace> ws_;  // one thread: made at the first member
  std::size_t job_ = 0;  // next job of the pool to write
};

}  // namespace

std::size_t UpdatePlan::changes() const {
  std::size_t n = added.size();
  for (int j : replacedBy)
    if (j >= 0) ++n;
  for (bool r : removed)
    if (r) ++n;
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
  plan.removed.assign(plan.existing.size(), false);
  std::map<std::string, std::size_t> byName;
  for (std::size_t i = 0; i < plan.existing.size(); ++i) {
    if (options.remove && options.remove(plan.existing[i])) {
      plan.removed[i] = true;
      continue;
    }
    byName[nameKey(plan.existing[i].path)] = i;
  }
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

namespace {

// Decodes members on worker threads. The thread that feeds it reads each member's
// stored bytes (the archive source is not shared between threads) and hands them over;
// at most kBudget bytes wait at a time. Members too large for that are checked on the
// feeding thread, straight from the archive, while the workers go on.
class CheckPool {
 public:
  CheckPool(int threads, const std::function<void()>& onWorkerStart) : onWorkerStart_(onWorkerStart) {
    grow(threads);
  }
  // Adds threads up to `threads` (not below one; a thread that cannot be made is done without).
  void grow(int threads) {
    while (static_cast<int>(workers_.size()) < threads) {
      try {
        workers_.emplace_back([this] {
          if (onWorkerStart_) onWorkerStart_();
          work();
        });
      } catch (...) {
        if (workers_.empty()) throw;
        break;
      }
    }
  }
  ~CheckPool() {
    {
      std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : workers_) t.join();
  }
  static constexpr std::uint64_t kBudget = 32u << 20;

  // Waits up to waitMs for room for n more bytes; true when there is room.
  bool roomFor(std::uint64_t n, int waitMs) {
    std::unique_lock<std::mutex> lock(m_);
    return waitFor(lock, waitMs, [&] { return inFlight_ == 0 || inFlight_ + n <= kBudget; });
  }
  // A member's data alone; m says what it holds.
  void addData(std::size_t order, const Member& m, std::vector<std::uint8_t> bytes) {
    add({order, m, std::move(bytes), false, {}});
  }
  // A member's header and data as they lie in the file; the header is parsed here and
  // must be the only one and name `name`.
  void addWhole(std::size_t order, std::string_view name, std::vector<std::uint8_t> bytes) {
    add({order, Member(), std::move(bytes), true, std::string(name)});
  }
  // Sets the workers on what is queued, before the caller turns to other work.
  void wake() {
    std::lock_guard<std::mutex> lock(m_);
    wakeLocked();
  }
  // Waits up to waitMs for every handed member to be checked; true when they are.
  bool finished(int waitMs) {
    std::unique_lock<std::mutex> lock(m_);
    return waitFor(lock, waitMs, [&] { return queue_.empty() && busy_ == 0; });
  }
  // A failure found elsewhere (a large member checked on the calling thread).
  void fail(std::size_t order, const Status& s) {
    std::lock_guard<std::mutex> lock(m_);
    failures_.emplace(order, s);
  }
  // The failure of the first member (in `order`) that failed, if any.
  Status firstFailure() {
    std::lock_guard<std::mutex> lock(m_);
    if (error_) std::rethrow_exception(error_);
    return failures_.empty() ? Status() : failures_.begin()->second;
  }
  // What the header parsed from a whole member's bytes said (kept small: a backup may
  // have a hundred thousand members).
  struct Seen {
    bool parsed = false;
    char methodId[6] = {0};
    std::uint16_t crc = 0;
    std::uint64_t headerSize = 0, packedSize = 0, originalSize = 0;
    // What the walk of the finished archive must find where the member was checked.
    bool sameAs(const Member& m) const {
      return headerSize == m.headerSize && packedSize == m.packedSize && originalSize == m.originalSize &&
             crc == m.crc && std::strcmp(methodId, m.methodId) == 0;
    }
  };
  // Once finished: what was seen of member `order`; parsed is false when it failed.
  Seen seen(std::size_t order) {
    std::lock_guard<std::mutex> lock(m_);
    return order < seen_.size() ? seen_[order] : Seen();
  }

 private:
  static constexpr std::size_t kBatch = 16;
  static constexpr std::uint64_t kBatchBytes = 1u << 20;
  struct Item {
    std::size_t order;
    Member member;
    std::vector<std::uint8_t> bytes;
    bool whole;
    std::string name;
  };
  // Members are handed to the workers a batch at a time: waking a worker for every
  // small member would cost more than checking it (under Wine, calls to the server).
  void add(Item item) {
    std::lock_guard<std::mutex> lock(m_);
    inFlight_ += item.bytes.size();
    queued_ += item.bytes.size();
    queue_.push_back(std::move(item));
    if (queue_.size() >= kBatch || queued_ >= kBatchBytes) wakeLocked();
  }
  void wakeLocked() {
    if (queue_.empty()) return;
    queued_ = 0;
    changed_.notify_all();
  }
  template <class Pred>
  bool waitFor(std::unique_lock<std::mutex>& lock, int waitMs, Pred ready) {
    if (ready()) return true;
    wakeLocked();  // what waits in the queue must be checked for the wait to end
    return done_.wait_for(lock, std::chrono::milliseconds(waitMs), ready);
  }

  static Status check(Item& item, bool& parsed) {
    MemorySource src(item.bytes);
    if (!item.whole) {
      item.member.dataOffset = 0;
      return extractMember(src, item.member, nullptr);
    }
    std::vector<Member> ms;
    const Status s = readArchive(src, ms);
    if (!s.ok() || ms.size() != 1 || ms[0].endOffset() != item.bytes.size() || nameKey(ms[0].path) != nameKey(item.name))
      return Status::fail(Error::DamagedArchive, item.name, "written archive does not list the expected member");
    item.member = std::move(ms[0]);
    parsed = true;
    return extractMember(src, item.member, nullptr);
  }

  void work() {
    for (;;) {
      Item item;
      {
        std::unique_lock<std::mutex> lock(m_);
        changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        item = std::move(queue_.front());
        queue_.pop_front();
        ++busy_;
      }
      Status s;
      bool parsed = false;
      std::exception_ptr error;
      try {
        s = check(item, parsed);
      } catch (...) {
        error = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(m_);
      --busy_;
      inFlight_ -= item.bytes.size();
      if (!s.ok()) failures_.emplace(item.order, s);
      if (parsed) {
        if (seen_.size() <= item.order) seen_.resize(item.order + 1);
        Seen& v = seen_[item.order];
        v.parsed = true;
        std::memcpy(v.methodId, item.member.methodId, sizeof v.methodId);
        v.crc = item.member.crc;
        v.headerSize = item.member.headerSize;
        v.packedSize = item.member.packedSize;
        v.originalSize = item.member.originalSize;
      }
      if (error && !error_) error_ = error;
      done_.notify_all();
    }
  }

  std::function<void()> onWorkerStart_;
  std::vector<std::thread> workers_;
  std::mutex m_;
  std::condition_variable changed_, done_;
  std::deque<Item> queue_;
  std::map<std::size_t, Status> failures_;
  std::vector<Seen> seen_;  // by order
  std::exception_ptr error_;
  std::uint64_t inFlight_ = 0;
  std::uint64_t queued_ = 0;  // bytes queued since the workers were last woken
  int busy_ = 0;
  bool stop_ = false;
};

}  // namespace

struct WrittenCheck::Impl {
  Impl(ByteSource& f, std::function<std::uint64_t()> s) : file(f), stored(std::move(s)) {}
  // One read of the file takes back-to-back members up to this much.
  static constexpr std::uint64_t kReadMax = 4u << 20;
  struct Told {
    std::size_t index;
    std::string name;
    std::uint64_t from, to;
  };
  ByteSource& file;
  std::function<std::uint64_t()> stored;
  std::unique_ptr<CheckPool> pool;
  std::deque<Told> told;         // complete, not yet handed over, in file order
  std::vector<bool> handed;      // per member index: checked (or failed) before finish
  std::size_t early = 0;
  std::vector<std::uint8_t> buf;
  int finishThreads = 0;

  void markHanded(std::size_t index) {
    if (handed.size() <= index) handed.resize(index + 1, false);
    handed[index] = true;
    ++early;
  }
  bool wasHanded(std::size_t index) const { return index < handed.size() && handed[index]; }
};

WrittenCheck::WrittenCheck(ByteSource& file, std::function<std::uint64_t()> stored, int threads,
                           const std::function<void()>& onWorkerStart, int finishThreads)
    : impl_(std::make_unique<Impl>(file, std::move(stored))) {
  if (threads > 0) impl_->pool = std::make_unique<CheckPool>(threads, onWorkerStart);
  impl_->finishThreads = finishThreads;
}

WrittenCheck::~WrittenCheck() = default;

std::size_t WrittenCheck::checkedEarly() const { return impl_->early; }

void WrittenCheck::written(std::size_t index, std::string_view name, std::uint64_t from, std::uint64_t to) {
  Impl& c = *impl_;
  // A large member is checked by finish() straight from the file, as verifyArchive does.
  if (!c.pool || to - from > CheckPool::kBudget / 4) return;
  c.told.push_back({index, std::string(name), from, to});
}

void WrittenCheck::pump() {
  Impl& c = *impl_;
  if (!c.pool || c.told.empty()) return;
  const std::uint64_t end = c.stored();
  while (!c.told.empty() && c.told.front().to <= end) {
    const std::uint64_t from = c.told.front().from;
    std::uint64_t to = c.told.front().to;
    std::size_t n = 1;
    while (n < c.told.size() && c.told[n].from == to && c.told[n].to <= end && c.told[n].to - from <= Impl::kReadMax)
      to = c.told[n++].to;
    if (!c.pool->roomFor(to - from, 0)) return;  // the workers are behind: later
    c.buf.resize(static_cast<std::size_t>(to - from));
    const bool ok = c.file.readAt(from, c.buf.data(), c.buf.size());
    for (std::size_t k = 0; k < n; ++k) {
      const Impl::Told& t = c.told.front();
      if (ok) {
        const auto first = c.buf.begin() + static_cast<std::ptrdiff_t>(t.from - from);
        c.pool->addWhole(t.index, t.name, std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(t.to - t.from)));
      } else {
        c.pool->fail(t.index, Status::fail(Error::ArchiveReadFailed, t.name, "archive read failed"));
      }
      c.markHanded(t.index);
      c.told.pop_front();
    }
  }
}

Status WrittenCheck::finish(ByteSource& written, const UpdateResult& result, const ProgressFn& progress) {
  Impl& c = *impl_;
  pump();  // the sink is finished: the file holds the rest
  std::unique_ptr<CheckPool>& pool = c.pool;
  if (pool) {
    pool->wake();
    pool->grow(c.finishThreads);  // the processors the workers had are free now
  }
  std::vector<Member> members;
  Status s = readArchive(written, members);
  if (!s.ok()) return s;
  if (members.size() != result.members.size())
    return Status::fail(Error::DamagedArchive, {}, "written archive has a different number of members");
  std::uint64_t total = 0, done = 0;
  const Member* last = nullptr;  // the last new member
  for (std::size_t i = 0; i < members.size(); ++i) {
    const WrittenMember& w = result.members[i];
    if (members[i].headerOffset != w.headerOffset || nameKey(members[i].path) != nameKey(w.path))
      return Status::fail(Error::DamagedArchive, w.path, "written archive does not list the expected member");
    if (w.action == Action::Keep) continue;
    last = &members[i];
    total += members[i].originalSize;
    if (c.wasHanded(i)) done += members[i].originalSize;
  }
  const Status cancelled = Status::fail(Error::Cancelled, {}, "cancelled");
  auto report = [&](const Member& m) {
    if (!progress) return true;
    Progress p;
    p.kind = ProgressKind::Verify;
    p.name = m.path;
    p.done = done;
    p.total = total;
    return progress(p);
  };
  static constexpr int kWaitMs = 20;  // the progress callback is called at least this often
  // The check is under way even when every member was handed over during the pass.
  if (c.early > 0 && last && !report(*last)) return cancelled;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (result.members[i].action == Action::Keep || c.wasHanded(i)) continue;
    const Member& m = members[i];
    if (!report(m)) return cancelled;
    if (pool && m.packedSize <= CheckPool::kBudget / 4) {
      while (!pool->roomFor(m.packedSize, kWaitMs))
        if (!report(m)) return cancelled;
      std::vector<std::uint8_t> bytes(static_cast<std::size_t>(m.packedSize));
      if (!bytes.empty() && !written.readAt(m.dataOffset, bytes.data(), bytes.size()))
        return Status::fail(Error::ArchiveReadFailed, m.path, "archive read failed");
      pool->addData(i, m, std::move(bytes));
    } else {
      if (pool) pool->wake();
      s = extractMember(written, m, nullptr);
      if (!s.ok()) {
        if (!pool) return s;
        pool->fail(i, s);  // a member before it may have failed too: the first one counts
        break;
      }
    }
    done += m.originalSize;
  }
  if (!pool) return {};
  while (!pool->finished(kWaitMs))
    if (last && !report(*last)) return cancelled;
  // What was checked early is what the archive lists now.
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (!c.wasHanded(i)) continue;
    const CheckPool::Seen early = pool->seen(i);
    if (early.parsed && !early.sameAs(members[i]))
      pool->fail(i, Status::fail(Error::DamagedArchive, members[i].path, "written archive does not list the expected member"));
  }
  return pool->firstFailure();
}

Status verifyArchive(ByteSource& written, const UpdateResult& result, const ProgressFn& progress, int threads,
                     const std::function<void()>& onWorkerStart) {
  WrittenCheck check(written, [] { return std::uint64_t{0}; }, threads > 1 ? threads : 0, onWorkerStart);
  return check.finish(written, result, progress);
}

int compareWithMember(std::uint64_t fileTime, const Member& m, const DosToUnix& dosToUnix) {
  if (m.hasWinTimes && m.winTimes.lastWrite)
    return fileTime > m.winTimes.lastWrite ? 1 : fileTime < m.winTimes.lastWrite ? -1 : 0;
  std::int64_t t = fileTimeToUnix(fileTime);
  if (m.timeIsDos) t -= ((t % 2) + 2) % 2;
  const std::int64_t mt = memberUnixTime(m, dosToUnix);
  return t > mt ? 1 : t < mt ? -1 : 0;
}

std::uint64_t memberWriteTime(const Member& m, const DosToUnix& dosToUnix) {
  if (m.hasWinTimes && m.winTimes.lastWrite) return m.winTimes.lastWrite;
  return unixToFileTime(memberUnixTime(m, dosToUnix));
}

}  // namespace pv::lzh
