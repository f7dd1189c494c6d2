// What makes the snapshot export by itself: startup, the periodic timer,
// freeplay and training starts, and freeplay frames; plus the match-end hooks.
#include <atomic>
#include <cstdint>
#include <exception>

#include "platform/Env.h"
#include "plugin/HookNames.h"
#include "plugin/TallyLoomMMR.h"

namespace {

constexpr float kStartupDelaySeconds = 1.5f;
constexpr float kPeriodicDelaySeconds = 20.0f;
constexpr float kSessionStartDelaySeconds = 1.0f;
constexpr float kDrawExportIntervalSeconds = 10.0f;

// Monotonic time of the last freeplay draw export, shared by every plugin
// object of the process; it starts at the clock's zero, so the first
// qualifying frame after the library is loaded exports at once.
std::atomic<std::int64_t> lastFreeplayDrawExport{0};

}  // namespace

void TallyLoomMMR::RegisterHooks() {
  auto matchEnded = [this](const std::string&) {
    if (IsEnabled()) HandleMatchEnded();
  };
  gameWrapper->HookEvent(kMatchEndedEvent, Guarded(matchEnded));
  gameWrapper->HookEvent(kGameWinnerSetEvent, Guarded(matchEnded));

  auto sessionStart = [this](const char* reason) {
    return Guarded([this, reason](const std::string&) {
      if (!IsEnabled() || !IsAutoExportOn()) return;
      // The timer checks nothing when it fires: the start has been seen.
      SetGuardedTimeout([this, reason] { ExportSnapshot(false, reason); },
                        kSessionStartDelaySeconds);
    });
  };
  gameWrapper->HookEvent(kFreeplayInitEvent, sessionStart("Freeplay export"));
  gameWrapper->HookEvent(kTrainingStartEvent, sessionStart("Training export"));

  // Runs every frame, so it takes no lock until its throttle lets it export;
  // the try costs nothing on a frame that throws nothing.
  gameWrapper->RegisterDrawable([this, alive = liveness_.token()](CanvasWrapper) {
    if (!LivenessGuard::IsAlive(alive)) return;
    try {
      OnFreeplayFrame();
    } catch (...) {
      // Reported like a failure of any other entry point.
      RunEntry([failure = std::current_exception()] { std::rethrow_exception(failure); });
    }
  });
}

void TallyLoomMMR::OnFreeplayFrame() {
  if (!IsEnabled() || !IsAutoExportOn()) return;
  if (!gameWrapper->IsInFreeplay()) return;
  const std::int64_t now = platform::Env::Default()->MonotonicNanos();
  const std::int64_t elapsed = now - lastFreeplayDrawExport.load(std::memory_order_relaxed);
  const float seconds = static_cast<float>(elapsed) / 1000000000.0f;
  if (kDrawExportIntervalSeconds > seconds) return;
  lastFreeplayDrawExport.store(now, std::memory_order_relaxed);
  RunEntry([this] { ExportSnapshot(false, "Freeplay draw export"); });
}

void TallyLoomMMR::ScheduleStartupExport() {
  SetGuardedTimeout(
      [this] {
        if (IsEnabled() && IsAutoExportOn()) ExportSnapshot(false, "Startup export");
      },
      kStartupDelaySeconds);
}

void TallyLoomMMR::SchedulePeriodicExport() {
  SetGuardedTimeout(
      [this] {
        // A run that fails unexpectedly is reported on its own, so that it
        // cannot skip the re-arming below and end the chain.
        RunEntry([this] {
          if (!IsEnabled() || !IsAutoExportOn()) return;
          // The host's IsInGame is offline play only: an online match counts
          // as a game too, where the ratings cannot change until it ends.
          if (!gameWrapper->IsInGame() && !gameWrapper->IsInOnlineGame() &&
              !gameWrapper->IsInFreeplay() && !gameWrapper->IsInReplay()) {
            ExportSnapshot(false, "Menu export");
          } else if (gameWrapper->IsInFreeplay()) {
            ExportSnapshot(false, "Freeplay poll export");
          } else if (gameWrapper->IsInOnlineGame()) {
            // No export, but the ratings are read into memory as an export
            // would: the next match takes its MMR before from there, and a
            // player who queues again from the post-match screen may see no
            // export between the two matches.
            CollectRankedPlaylists();
          }
        });
        // The chain goes on whatever the switches say.
        SchedulePeriodicExport();
      },
      kPeriodicDelaySeconds);
}
