// When the snapshot exports by itself: the triggers' delays and gates, what
// the 20-second timer does in each place of the game, and the throttles.
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

// The game's answers, each asked only when needed ("game" is offline play).
struct PlaceQuestions {
  std::function<bool()> inGame, inOnlineGame, inFreeplay, inReplay;
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

// With both switches on, the game is asked in turn up to the first true
// answer (none: the menus), then freeplay again, then the online match.
inline PeriodicDecision DecidePeriodicRun(bool enabled, bool autoExport,
                                          const PlaceQuestions& ask) {
  if (!enabled || !autoExport) return {};
  if (!ask.inGame() && !ask.inFreeplay() && !ask.inReplay()) {
    if (!ask.inOnlineGame()) return {PeriodicWork::kExport, "Menu export"};
    return {PeriodicWork::kReadRatings};
  }
  if (ask.inFreeplay()) return {PeriodicWork::kExport, "Freeplay poll export"};
  if (ask.inOnlineGame()) return {PeriodicWork::kReadRatings};
  return {};
}

// A freeplay or training start exports 1 s later with both switches on at the
// event; the timer asks nothing.
inline bool SessionStartExports(bool enabled, bool autoExport) { return enabled && autoExport; }

// A drawn frame may export (throttled) with both switches on and the game in
// freeplay, asked only then: a frame's one question to the host.
template <class InFreeplay>
bool FrameMayExport(bool enabled, bool autoExport, InFreeplay&& inFreeplay) {
  return enabled && autoExport && inFreeplay();
}

// The export 15 s after a capture ends (CaptureStep) asks both switches when
// it fires, not when it is set.
inline bool DelayedPostMatchExportRuns(bool enabled, bool autoExport) {
  return enabled && autoExport;
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
