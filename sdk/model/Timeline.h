// Virtual time of the simulated host: the plugin's timers, frames drawn at a
// fixed rate, and work handed to the game thread from other threads. Time only
// moves in Advance, so every timer fires at an exact virtual instant.
//
// Thread safety: every member may be called from any thread; actions run
// without the lock held, so an action may set further timers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "bakkesmod/sdk_api.h"
#include "platform/testing/VirtualClockEnv.h"

namespace sdkhost {

class PLUGINSDK_API Timeline {
 public:
  using Action = std::function<void()>;

  // `draw_frame` runs every drawable once; it is called for every frame due.
  Timeline(platform::VirtualClock* clock, Action draw_frame);
  ~Timeline();
  Timeline(const Timeline&) = delete;
  Timeline& operator=(const Timeline&) = delete;

  std::int64_t NowNanos() const;
  void SetFramesPerSecond(int fps);
  // Runs everything due in (now, now + nanos]: timers and scheduled actions in
  // due order (ties in the order set) and, between them, one frame each
  // 1/fps seconds. A timer due at a frame's instant runs first. Work posted
  // for the game thread runs before each step, so before time moves.
  void Advance(std::int64_t nanos);
  void ScheduleAction(std::int64_t delay_nanos, Action action);
  std::size_t PendingTimerCount() const;

  // Any thread: `action` runs on the game thread, in the order posted, the
  // next time the game thread calls RunPosted (or Advance).
  void Post(Action action);
  // Game thread: runs the posted work, including work that it posts itself.
  void RunPosted();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A timer's delay in single-precision seconds, converted exactly (rounding to
// the nearest nanosecond). Negative and non-finite delays count as zero.
PLUGINSDK_API std::int64_t SecondsToNanos(float seconds);

}  // namespace sdkhost
