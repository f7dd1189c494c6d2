#include "plugin/TallyLoomMMR.h"

#include <exception>

#include "export/Timestamp.h"
#include "plugin/HookNames.h"
#include "plugin/PluginLog.h"
#include "plugin/SharedFlag.h"

void TallyLoomMMR::onLoad() {
  RunEntry([this] {
    globalCvarManager = cvarManager;
    loadedAt = CurrentTimestamp();
    RegisterCvars();
    RegisterHooks();
    ScheduleStartupExport();
    SchedulePeriodicExport();
    Log("Installed and loaded. Automatic export is ready.");
  });
}

void TallyLoomMMR::onUnload() {
  // Timers stay armed: the liveness guard makes them harmless once the
  // object is gone, and they still act while it lives, as the host expects.
  RunEntry([this] {
    gameWrapper->UnregisterDrawables();
    for (const char* event : kHookedEvents) gameWrapper->UnhookEvent(event);
  });
}

bool TallyLoomMMR::IsEnabled() const { return !enabled || ReadSharedFlag(enabled); }

bool TallyLoomMMR::IsAutoExportOn() const {
  return autoExportEnabled && ReadSharedFlag(autoExportEnabled);
}

void TallyLoomMMR::SetGuardedTimeout(std::function<void()> callback, float seconds) {
  gameWrapper->SetTimeout(Guarded([callback = std::move(callback)](GameWrapper*) { callback(); }),
                          seconds);
}

void TallyLoomMMR::RunEntry(const std::function<void()>& body) {
  std::lock_guard lock(entryMutex_);
  try {
    body();
  } catch (...) {
    try {
      RecordUnexpectedFailure(std::current_exception()).Write();
    } catch (...) {
    }
  }
}

void TallyLoomMMR::RunUnlocked(const std::function<void()>& body) {
  PendingConsoleLine report;
  try {
    body();
  } catch (...) {
    try {
      std::lock_guard lock(entryMutex_);
      report = RecordUnexpectedFailure(std::current_exception());
    } catch (...) {
    }
  }
  try {
    report.Write();
  } catch (...) {
  }
}
