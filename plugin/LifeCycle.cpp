// What the host calls when it loads and unloads the plugin.
#include "plugin/TallyLoomMMR.h"

#include "export/Timestamp.h"
#include "plugin/HookNames.h"

void TallyLoomMMR::onLoad() {
  Shielded([this] {
    consoleReady_.store(true, std::memory_order_release);
    tab_.Update([at = CurrentTimestamp()](TabRows& rows) { rows.loadedAt = at; });
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
  Shielded([this] {
    gameWrapper->UnregisterDrawables();
    for (const char* event : kHookedEvents) gameWrapper->UnhookEvent(event);
  });
}
