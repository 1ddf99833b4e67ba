// Where a command's time goes, for the benchmark (scripts/bench-unlha32.sh): with the
// environment variable PV_UNLHA_PROFILE set, `u` and `a` add one line to the output
// naming the time of each kind of work. Off, every timer is a test of one flag.
#pragma once
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>

namespace pv::unlha {

// Pass is the wall-clock time of writing the new archive; open, read, compress, write
// and window are spent inside it. Compress is the time of making the new members
// (their open and read included), summed over the threads like open and read. Notify
// is the part of window spent in the owner's answers to "wm_arcextract". Verify is the
// wall-clock time of the check after the pass; check is the part of the pass the writer
// spent reading new members back for the check that runs beside it, and early the
// number of members handed to that check before the pass ended.
enum class Work { Scan, Pass, Open, Read, Compress, Write, Window, Notify, Flush, Verify, Replace, Check, Count };

class Profile {
 public:
  static Profile& get();
  void start();  // at the start of a command: on or off by the environment
  bool on() const { return on_; }
  void add(Work w, long long ticks) { total_[static_cast<int>(w)].fetch_add(ticks, std::memory_order_relaxed); }
  static long long now() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
  }
  long long ticksOf(std::chrono::steady_clock::duration d) const {
    return static_cast<long long>(std::chrono::duration<double>(d).count() * static_cast<double>(freq_));
  }
  // "profile: files=N threads=T scan=.. ... (ms)"
  std::string line(std::size_t files, int threads, std::size_t early) const;

 private:
  bool on_ = false;
  long long freq_ = 1;
  std::atomic<long long> total_[static_cast<int>(Work::Count)] = {};
};

// Adds the time from construction to destruction to one kind of work.
class Timed {
 public:
  explicit Timed(Work w) : w_(w), t0_(Profile::get().on() ? Profile::now() : 0) {}
  ~Timed() {
    if (t0_) Profile::get().add(w_, Profile::now() - t0_);
  }
  Timed(const Timed&) = delete;
  Timed& operator=(const Timed&) = delete;

 private:
  Work w_;
  long long t0_;
};

}  // namespace pv::unlha
