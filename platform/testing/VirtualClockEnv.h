// Clocks that only move when told to, so that a session's timing is exact and
// repeatable. The wall clock is a fixed start plus the virtual time; the
// monotonic clock starts far from zero, as on a machine that has been up for a
// while, and never goes backwards.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Env.h"

namespace platform {

class VirtualClock {
 public:
  static constexpr std::int64_t kMonotonicOrigin = 1'000'000LL * 1'000'000'000LL;

  std::int64_t NowNanos() const { return now_.load(std::memory_order_acquire); }
  // Moves the clock forward to `nanos`; an earlier value is ignored.
  void AdvanceTo(std::int64_t nanos);

 private:
  std::atomic<std::int64_t> now_{0};
};

class VirtualClockEnv : public EnvWrapper {
 public:
  VirtualClockEnv(Env* target, const VirtualClock* clock, std::int64_t wall_start_unix_seconds)
      : EnvWrapper(target), clock_(clock), wall_start_(wall_start_unix_seconds) {}

  std::int64_t NowUnixSeconds() override;
  std::int64_t MonotonicNanos() override;

 private:
  const VirtualClock* clock_;
  std::int64_t wall_start_;
};

}  // namespace platform
