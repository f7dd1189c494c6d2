// The plugin's console surface: two saved switches and two commands.
#include <fmt/format.h>

#include "plugin/SharedFlag.h"
#include "plugin/TallyLoomMMR.h"

void TallyLoomMMR::RegisterCvars() {
  // Both switches are on by default; a saved value replaces that as the
  // variable is bound.
  WriteSharedFlag(enabled_, true);
  WriteSharedFlag(autoExportEnabled_, true);

  cvarManager
      ->registerCvar("tallyloom_enabled", "1", "Enable the TallyLoom ranked sync plugin", true,
                     true, 0.0f, true, 1.0f, true)
      .bindTo(enabled_);
  cvarManager
      ->registerCvar("tallyloom_auto_export", "1", "Automatically export ranked data for TallyLoom",
                     true, true, 0.0f, true, 1.0f, true)
      .bindTo(autoExportEnabled_);

  cvarManager->registerNotifier(
      "tallyloom_export_mmr",
      Guarded([this](const std::vector<std::string>&) { ExportSnapshot(true, "Manual export"); }),
      "Export TallyLoom ranked data immediately", 0);
  // The settings tab runs this one from the render thread: it reads only the
  // switches and the tab's state.
  cvarManager->registerNotifier(
      "tallyloom_status", Guarded([this](const std::vector<std::string>&) {
        // "Loaded" reports the enable switch, as the status line always has.
        Log(fmt::format("Loaded={}, auto export={}, pending captures={}",
                        IsEnabled() ? "yes" : "no", IsAutoExportOn() ? "yes" : "no",
                        tab_.Rows().pendingCaptures));
      }),
      "Show TallyLoom plugin status in the BakkesMod log", 0);
}
