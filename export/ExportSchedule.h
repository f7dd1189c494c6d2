// When the snapshot exports by itself: the triggers' delays, what the
// 20-second timer does in each place of the game, and the throttles.
// Decisions only: the plugin reads the game and sets the timers.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

// Delays handed to the host's timer, in single-precision seconds as it takes them.
using TimerDelay = std::chrono::duration<float>;
inline constexpr TimerDelay kStartupExportDelay{1.5f};
inline constexpr TimerDelay kPeriodicExportDelay{20.0f};
inline constexpr TimerDelay kSessionStartExportDelay{1.0f};  // freeplay and training starts
inline constexpr TimerDelay kDelayedPostMatchExportDelay{15.0f};
inline constexpr TimerDelay kFreeplayDrawExportInterval{10.0f};

// What the host reports when the timer runs ("game" is offline play only).
struct GamePlace {
  bool inGame = false;
  bool inOnlineGame = false;
  bool inFreeplay = false;
  bool inReplay = false;
};

// In an online match no file changes, but the ratings are read into the
// plugin's memory as an export would read them: the next match takes its MMR
// before from there, and a player who queues again from the post-match
// screen sees no export between two matches.
enum class PeriodicWork { kNothing, kExport, kReadRatings };

struct PeriodicDecision {
  PeriodicWork work = PeriodicWork::kNothing;
  const char* reason = nullptr;  // for kExport
};

// `readPlace` asks the game, and only when both switches are on.
inline PeriodicDecision DecidePeriodicRun(bool enabled, bool autoExport,
                                          const std::function<GamePlace()>& readPlace) {
  if (!enabled || !autoExport) return {};
  const GamePlace place = readPlace();
  if (!place.inGame && !place.inOnlineGame && !place.inFreeplay && !place.inReplay) {
    return {PeriodicWork::kExport, "Menu export"};
  }
  if (place.inFreeplay) return {PeriodicWork::kExport, "Freeplay poll export"};
  if (place.inOnlineGame) return {PeriodicWork::kReadRatings};
  return {};
}

// Lets an event through when at least `interval` has passed since the last
// one it let through (on the monotonic clock; without one, the first passes),
// and counts from there. The elapsed time is compared in single-precision
// seconds, as it always was.
struct Throttle {
  TimerDelay interval;
  std::optional<std::chrono::nanoseconds> last;

  bool Pass(std::chrono::nanoseconds now) {
    if (last && TimerDelay(now - *last) < interval) return false;
    last = now;
    return true;
  }
};
