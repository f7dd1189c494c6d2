// What makes the snapshot export by itself: startup, the periodic timer,
// freeplay and training starts, and freeplay frames; plus the match-end hooks.
#include <chrono>

#include "export/SnapshotExport.h"
#include "platform/Env.h"
#include "plugin/HookNames.h"
#include "plugin/SdkGameSource.h"
#include "plugin/TallyLoomMMR.h"

void TallyLoomMMR::RegisterHooks() {
  auto matchEnded = [this](const std::string&) {
    if (IsEnabled()) HandleMatchEnded();
  };
  gameWrapper->HookEvent(kMatchEndedEvent, Guarded(matchEnded));
  gameWrapper->HookEvent(kGameWinnerSetEvent, Guarded(matchEnded));

  auto sessionStart = [this](const char* reason) {
    return Guarded([this, reason](const std::string&) {
      if (!SessionStartExports(IsEnabled(), IsAutoExportOn())) return;
      // The timer checks nothing when it fires: the start has been seen.
      SetGuardedTimeout([this, reason] { ExportSnapshot(false, reason); },
                        kSessionStartExportDelay);
    });
  };
  gameWrapper->HookEvent(kFreeplayInitEvent, sessionStart("Freeplay export"));
  gameWrapper->HookEvent(kTrainingStartEvent, sessionStart("Training export"));

  // Runs every frame: the try costs nothing on a frame that throws nothing.
  gameWrapper->RegisterDrawable([this, alive = liveness_.token()](CanvasWrapper) {
    if (!LivenessGuard::IsAlive(alive)) return;
    Shielded([this] { OnFreeplayFrame(); });
  });
}

void TallyLoomMMR::OnFreeplayFrame() {
  if (!FrameMayExport(IsEnabled(), IsAutoExportOn(),
                      [this] { return gameWrapper->IsInFreeplay(); })) {
    return;
  }
  const std::chrono::nanoseconds now{platform::Env::Default()->MonotonicNanos()};
  // The throttle moves whether the export succeeds or not.
  if (throttles_.freeplayDraw.Pass(now)) ExportSnapshot(false, "Freeplay draw export");
}

void TallyLoomMMR::ScheduleStartupExport() {
  SetGuardedTimeout(
      [this] {
        if (IsEnabled() && IsAutoExportOn()) ExportSnapshot(false, "Startup export");
      },
      kStartupExportDelay);
}

void TallyLoomMMR::SchedulePeriodicExport() {
  SetGuardedTimeout(
      [this] {
        // A run that fails unexpectedly is reported on its own, so that it
        // cannot skip the re-arming below and end the chain.
        Shielded([this] {
          GameWrapper& game = *gameWrapper;
          const PeriodicDecision run = DecidePeriodicRun(
              IsEnabled(), IsAutoExportOn(),
              {[&] { return game.IsInGame(); }, [&] { return game.IsInOnlineGame(); },
               [&] { return game.IsInFreeplay(); }, [&] { return game.IsInReplay(); }});
          if (run.work == PeriodicWork::kExport) {
            ExportSnapshot(false, run.reason);
          } else if (run.work == PeriodicWork::kReadRatings) {
            SdkGameSource source(game);
            captures_.Remember(ReadSnapshot(source).playlists);
          }
        });
        // The chain goes on whatever the switches say.
        SchedulePeriodicExport();
      },
      kPeriodicExportDelay);
}
