// Each PluginHarness starts its virtual clocks at zero, but two things of the
// plugin library are process-wide and remember the monotonic clock of an
// earlier session: the repeat window of match ends and the freeplay frame
// throttle. A test that plays many sessions in one process puts this above the
// harness's environment, so that every session's monotonic clock starts past
// the previous one, as it would on a real machine. The first one starts
// decades of virtual time in, past whatever sessions ran in the same process
// before. Sessions of plain harnesses that run after it in the same process
// would find those two remembering a later time, so the tests that use it
// have a program of their own.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Env.h"

namespace reliability {

class LaterSessionEnv : public platform::EnvWrapper {
 public:
  // Wraps and replaces the current default environment for its lifetime.
  LaterSessionEnv()
      : EnvWrapper(platform::Env::Default()),
        offset_(kFirstSessionNanos + next_session_.fetch_add(1) * kSessionSpacingNanos) {
    platform::Env::SetDefault(this);
  }
  ~LaterSessionEnv() override { platform::Env::SetDefault(target()); }
  LaterSessionEnv(const LaterSessionEnv&) = delete;
  LaterSessionEnv& operator=(const LaterSessionEnv&) = delete;

  std::int64_t MonotonicNanos() override { return EnvWrapper::MonotonicNanos() + offset_; }

 private:
  // About 73 years in, then a million seconds apart: longer than any session
  // runs, with room for thousands of sessions.
  static constexpr std::int64_t kFirstSessionNanos = std::int64_t{1} << 61;
  static constexpr std::int64_t kSessionSpacingNanos = 1'000'000LL * 1'000'000'000LL;
  static inline std::atomic<std::int64_t> next_session_{0};
  std::int64_t offset_;
};

}  // namespace reliability
