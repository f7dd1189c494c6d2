#include "sdk/model/Timeline.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <limits>
#include <mutex>
#include <queue>
#include <vector>

namespace sdkhost {
namespace {

constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

// Wide enough to scale any float or frame number to nanoseconds exactly.
__extension__ typedef __int128 Int128;

struct Timer {
  std::int64_t due = 0;
  std::uint64_t sequence = 0;
  Timeline::Action action;
};

struct LaterFirst {
  bool operator()(const Timer& a, const Timer& b) const {
    return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
  }
};

}  // namespace

struct Timeline::Impl {
  Impl(platform::VirtualClock* c, Action draw) : clock(c), draw_frame(std::move(draw)) {}

  platform::VirtualClock* clock;
  Action draw_frame;
  mutable std::mutex mutex;
  std::priority_queue<Timer, std::vector<Timer>, LaterFirst> timers;
  std::uint64_t next_sequence = 0;
  int fps = 60;
  std::int64_t next_frame = 1;
  std::deque<Action> posted;
  // Advance asks before every frame; most of the time nothing is posted.
  std::atomic<bool> has_posted{false};

  std::int64_t FrameDue(std::int64_t k) const {
    return static_cast<std::int64_t>((static_cast<Int128>(k) * kNanosPerSecond) / fps);
  }
};

Timeline::Timeline(platform::VirtualClock* clock, Action draw_frame)
    : impl_(std::make_unique<Impl>(clock, std::move(draw_frame))) {}

Timeline::~Timeline() = default;

std::int64_t Timeline::NowNanos() const { return impl_->clock->NowNanos(); }

void Timeline::SetFramesPerSecond(int fps) {
  std::lock_guard lock(impl_->mutex);
  impl_->fps = std::max(fps, 0);
  impl_->next_frame = 1;
  if (impl_->fps > 0) {
    const std::int64_t now = impl_->clock->NowNanos();
    while (impl_->FrameDue(impl_->next_frame) <= now) ++impl_->next_frame;
  }
}

void Timeline::Advance(std::int64_t nanos) {
  const std::int64_t target = impl_->clock->NowNanos() + std::max<std::int64_t>(nanos, 0);
  for (;;) {
    RunPosted();
    std::unique_lock lock(impl_->mutex);
    const bool has_timer = !impl_->timers.empty() && impl_->timers.top().due <= target;
    const std::int64_t frame_due = impl_->fps > 0 ? impl_->FrameDue(impl_->next_frame)
                                                  : std::numeric_limits<std::int64_t>::max();
    const bool has_frame = frame_due <= target;
    if (!has_timer && !has_frame) break;
    if (has_timer && (!has_frame || impl_->timers.top().due <= frame_due)) {
      Timer timer = impl_->timers.top();
      impl_->timers.pop();
      lock.unlock();
      impl_->clock->AdvanceTo(timer.due);
      timer.action();
    } else {
      ++impl_->next_frame;
      lock.unlock();
      impl_->clock->AdvanceTo(frame_due);
      impl_->draw_frame();
    }
  }
  impl_->clock->AdvanceTo(target);
}

void Timeline::ScheduleAction(std::int64_t delay_nanos, Action action) {
  std::lock_guard lock(impl_->mutex);
  const std::int64_t due = impl_->clock->NowNanos() + std::max<std::int64_t>(delay_nanos, 0);
  impl_->timers.push(Timer{due, impl_->next_sequence++, std::move(action)});
}

std::size_t Timeline::PendingTimerCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->timers.size();
}

void Timeline::Post(Action action) {
  std::lock_guard lock(impl_->mutex);
  impl_->posted.push_back(std::move(action));
  impl_->has_posted.store(true, std::memory_order_release);
}

void Timeline::RunPosted() {
  if (!impl_->has_posted.load(std::memory_order_acquire)) return;
  for (;;) {
    Action action;
    {
      std::lock_guard lock(impl_->mutex);
      if (impl_->posted.empty()) {
        impl_->has_posted.store(false, std::memory_order_release);
        return;
      }
      action = std::move(impl_->posted.front());
      impl_->posted.pop_front();
    }
    action();
  }
}

std::int64_t SecondsToNanos(float seconds) {
  if (!std::isfinite(seconds) || seconds <= 0) return 0;
  // A float is m * 2^e exactly; scale in integers so that no digit is lost.
  int exponent = 0;
  const float fraction = std::frexp(seconds, &exponent);  // seconds = fraction * 2^exponent
  const auto mantissa = static_cast<std::int64_t>(std::ldexp(fraction, 24));  // exact
  exponent -= 24;
  Int128 scaled = static_cast<Int128>(mantissa) * kNanosPerSecond;
  if (exponent >= 0) {
    if (exponent > 60) return std::numeric_limits<std::int64_t>::max();
    scaled <<= exponent;
  } else {
    const int shift = -exponent;
    if (shift > 120) return 0;
    const Int128 half = static_cast<Int128>(1) << (shift - 1);
    scaled = (scaled + half) >> shift;
  }
  if (scaled > std::numeric_limits<std::int64_t>::max()) {
    return std::numeric_limits<std::int64_t>::max();
  }
  return static_cast<std::int64_t>(scaled);
}

}  // namespace sdkhost
