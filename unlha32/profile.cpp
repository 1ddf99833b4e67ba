#include "unlha32/profile.h"

#include <cstdio>

namespace pv::unlha {

Profile& Profile::get() {
  static Profile p;
  return p;
}

void Profile::start() {
  char v[8];
  on_ = ::GetEnvironmentVariableA("PV_UNLHA_PROFILE", v, sizeof v) > 0;
  LARGE_INTEGER f;
  ::QueryPerformanceFrequency(&f);
  freq_ = f.QuadPart ? f.QuadPart : 1;
  for (auto& t : total_) t.store(0);
}

std::string Profile::line(std::size_t files, int threads, std::size_t early) const {
  static const char* const names[] = {"scan", "pass", "open", "read", "compress", "write", "window", "notify", "flush", "verify", "replace", "check"};
  char buf[64];
  std::snprintf(buf, sizeof buf, "profile: files=%u threads=%d", static_cast<unsigned>(files), threads);
  std::string s = buf;
  for (int i = 0; i < static_cast<int>(Work::Count); ++i) {
    std::snprintf(buf, sizeof buf, " %s=%.0f", names[i], 1000.0 * static_cast<double>(total_[i].load()) / freq_);
    s += buf;
  }
  std::snprintf(buf, sizeof buf, " (ms) early=%u\r\n", static_cast<unsigned>(early));
  return s + buf;
}

}  // namespace pv::unlha
