// The plugin's tab in the host's settings window: the two switches, the
// status block and two buttons. Everything is read afresh in every frame.
// Runs on the host's render thread: it reads the plugin's state, sets console
// variables, logs and runs console commands, but never calls the game.
#include <imgui.h>

#include <string>

#include "export/ExportFolder.h"
#include "plugin/PluginVersion.h"
#include "plugin/TallyLoomMMR.h"

namespace {

const char* OrFallback(const std::string& text, const char* fallback) {
  return text.empty() ? fallback : text.c_str();
}

}  // namespace

void TallyLoomMMR::RenderSettings() {
  RunEntry([this] {
    // The switches change only through their console variables, whose
    // bindings update the flags.
    bool enabledBox = IsEnabled();
    if (ImGui::Checkbox("Enable TallyLoom plugin", &enabledBox)) {
      cvarManager->getCvar("tallyloom_enabled").setValue(enabledBox ? 1 : 0);
      Log(enabledBox ? "TallyLoom plugin enabled." : "TallyLoom plugin disabled.");
    }
    bool autoExportBox = IsAutoExportOn();
    if (ImGui::Checkbox("Enable automatic ranked-data export", &autoExportBox)) {
      cvarManager->getCvar("tallyloom_auto_export").setValue(autoExportBox ? 1 : 0);
      Log(autoExportBox ? "Automatic export enabled." : "Automatic export disabled.");
    }

    ImGui::Separator();
    ImGui::Text("Plugin version: %s", kPluginVersion);
    ImGui::Text("Loaded at: %s", OrFallback(loadedAt, "Not recorded"));
    ImGui::Text("Install status: %s", "Installed and loaded in BakkesMod");
    const std::string snapshotPath = ExportFilePath(kSnapshotFileName);
    const std::string historyPath = ExportFilePath(kMatchHistoryFileName);
    ImGui::Text("Snapshot file: %s", snapshotPath.c_str());
    ImGui::Text("Match history file: %s", historyPath.c_str());
    ImGui::Text("Last snapshot export: %s", OrFallback(lastSnapshotExportAt, "Not yet exported"));
    ImGui::Text("Last export reason: %s", OrFallback(lastExportReason, "Not yet exported"));
    ImGui::Text("Last match capture: %s",
                OrFallback(lastMatchCapture, "No ranked matches captured yet"));
    ImGui::Text("Pending match captures: %d", static_cast<int>(pendingCaptures.size()));
    ImGui::Text("Last exported playlists: %d", static_cast<int>(lastExportedPlaylistCount));

    if (!statusMessage.empty()) {
      ImGui::Spacing();
      ImGui::TextWrapped("Status: %s", statusMessage.c_str());
    }
    if (!lastError.empty()) {
      ImGui::Spacing();
      ImGui::TextWrapped("Last error: %s", lastError.c_str());
    }

    ImGui::Spacing();
    // The host draws this tab on its render thread, which must never call the
    // game: the export reads the account, the ratings and the game state, so it
    // runs on the game thread, and its outcome shows from a later frame on.
    if (ImGui::Button("Run test export now")) {
      gameWrapper->Execute(
          Guarded([this](GameWrapper*) { ExportSnapshot(true, "Settings test export"); }));
    }
    ImGui::SameLine();
    if (ImGui::Button("Log plugin status")) cvarManager->executeCommand("tallyloom_status", true);
    ImGui::Spacing();
    ImGui::TextWrapped(
        "TallyLoom writes ranked snapshots and per-match history to your .tallyloom folder "
        "automatically. The desktop app watches those files, so users should not need to run "
        "console commands during normal use.");
  });
}
