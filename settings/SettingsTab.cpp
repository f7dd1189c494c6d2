#include "settings/SettingsTab.h"

#include <imgui.h>

#include "plugin/PluginVersion.h"

namespace {

const char* OrFallback(const std::string& text, const char* fallback) {
  return text.empty() ? fallback : text.c_str();
}

}  // namespace

void DrawSettingsTab(TabView& view, const TabActions& actions) {
  TabRows& rows = view.rows;
  // The switches change only through their console variables, whose
  // bindings update the flags.
  auto toggle = [&](const char* variable, bool on, const char* message) {
    actions.setSwitch(variable, on, message);
    rows.statusMessage = message;
  };
  if (ImGui::Checkbox("Enable TallyLoom plugin", &view.enabled)) {
    toggle("tallyloom_enabled", view.enabled,
           view.enabled ? "TallyLoom plugin enabled." : "TallyLoom plugin disabled.");
  }
  if (ImGui::Checkbox("Enable automatic ranked-data export", &view.autoExport)) {
    toggle("tallyloom_auto_export", view.autoExport,
           view.autoExport ? "Automatic export enabled." : "Automatic export disabled.");
  }

  ImGui::Separator();
  ImGui::Text("Plugin version: %s", kPluginVersion);
  ImGui::Text("Loaded at: %s", OrFallback(rows.loadedAt, "Not recorded"));
  ImGui::Text("Install status: %s", "Installed and loaded in BakkesMod");
  ImGui::Text("Snapshot file: %s", view.snapshotPath.c_str());
  ImGui::Text("Match history file: %s", view.historyPath.c_str());
  ImGui::Text("Last snapshot export: %s",
              OrFallback(rows.lastSnapshotExportAt, "Not yet exported"));
  ImGui::Text("Last export reason: %s", OrFallback(rows.lastExportReason, "Not yet exported"));
  ImGui::Text("Last match capture: %s",
              OrFallback(rows.lastMatchCapture, "No ranked matches captured yet"));
  ImGui::Text("Pending match captures: %d", static_cast<int>(rows.pendingCaptures));
  ImGui::Text("Last exported playlists: %d", static_cast<int>(rows.exportedPlaylists));

  if (!rows.statusMessage.empty()) {
    ImGui::Spacing();
    ImGui::TextWrapped("Status: %s", rows.statusMessage.c_str());
  }
  if (!rows.lastError.empty()) {
    ImGui::Spacing();
    ImGui::TextWrapped("Last error: %s", rows.lastError.c_str());
  }

  ImGui::Spacing();
  if (ImGui::Button("Run test export now")) actions.exportNow();
  ImGui::SameLine();
  if (ImGui::Button("Log plugin status")) actions.logStatus();
  ImGui::Spacing();
  ImGui::TextWrapped(
      "TallyLoom writes ranked snapshots and per-match history to your .tallyloom folder "
      "automatically. The desktop app watches those files, so users should not need to run "
      "console commands during normal use.");
}
