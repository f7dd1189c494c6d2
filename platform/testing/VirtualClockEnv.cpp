#include "platform/testing/VirtualClockEnv.h"

namespace platform {

void VirtualClock::AdvanceTo(std::int64_t nanos) {
  std::int64_t current = now_.load(std::memory_order_relaxed);
  while (nanos > current &&
         !now_.compare_exchange_weak(current, nanos, std::memory_order_acq_rel)) {
  }
}

std::int64_t VirtualClockEnv::NowUnixSeconds() {
  return wall_start_ + clock_->NowNanos() / 1'000'000'000LL;
}

std::int64_t VirtualClockEnv::MonotonicNanos() {
  return VirtualClock::kMonotonicOrigin + clock_->NowNanos();
}

}  // namespace platform
