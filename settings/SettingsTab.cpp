// The plugin's tab in the host's settings window: the two switches, the
// status block and two buttons. Everything is read afresh in every frame.
// Runs on the host's render thread: it reads the plugin's state, sets console
// variables, logs and runs console commands, but never calls the game.
//
// It reads the state under the entry lock and then releases it: drawing and
// every host call happen without it. A host may hold a lock of its own while
// it runs this plugin's callbacks on the game thread, and take that lock inside
// setValue or executeCommand; holding the entry lock across those calls could
// leave each thread waiting for the other.
#include <imgui.h>

#include <memory>
#include <mutex>
#include <string>

#include "export/ExportFolder.h"
#include "plugin/PluginVersion.h"
#include "plugin/TallyLoomMMR.h"

namespace {

// What one frame shows and the handles it acts through, copied under the lock.
struct TabView {
  bool enabled = true;
  bool autoExport = false;
  std::string loadedAt;
  std::string snapshotPath;
  std::string historyPath;
  std::string lastSnapshotExportAt;
  std::string lastExportReason;
  std::string lastMatchCapture;
  int pendingCaptures = 0;
  int exportedPlaylists = 0;
  std::string statusMessage;
  std::string lastError;
  std::shared_ptr<CVarManagerWrapper> console;
  std::shared_ptr<GameWrapper> game;
};

const char* OrFallback(const std::string& text, const char* fallback) {
  return text.empty() ? fallback : text.c_str();
}

}  // namespace

void TallyLoomMMR::RenderSettings() {
  RunUnlocked([this] {
    TabView view;
    {
      std::lock_guard lock(entryMutex_);
      view.enabled = IsEnabled();
      view.autoExport = IsAutoExportOn();
      view.loadedAt = loadedAt;
      view.snapshotPath = ExportFilePath(kSnapshotFileName);
      view.historyPath = ExportFilePath(kMatchHistoryFileName);
      view.lastSnapshotExportAt = lastSnapshotExportAt;
      view.lastExportReason = lastExportReason;
      view.lastMatchCapture = lastMatchCapture;
      view.pendingCaptures = static_cast<int>(pendingCaptures.size());
      view.exportedPlaylists = static_cast<int>(lastExportedPlaylistCount);
      view.statusMessage = statusMessage;
      view.lastError = lastError;
      view.console = cvarManager;
      view.game = gameWrapper;
    }

    // The switches change only through their console variables, whose
    // bindings update the flags. The toggle's status shows in this frame.
    auto toggle = [this, &view](const char* variable, bool on, const char* message) {
      view.console->getCvar(variable).setValue(on ? 1 : 0);
      PendingConsoleLine line;
      {
        std::lock_guard lock(entryMutex_);
        line = RecordStatus(message);
      }
      line.Write();
      view.statusMessage = message;
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
    ImGui::Text("Loaded at: %s", OrFallback(view.loadedAt, "Not recorded"));
    ImGui::Text("Install status: %s", "Installed and loaded in BakkesMod");
    ImGui::Text("Snapshot file: %s", view.snapshotPath.c_str());
    ImGui::Text("Match history file: %s", view.historyPath.c_str());
    ImGui::Text("Last snapshot export: %s",
                OrFallback(view.lastSnapshotExportAt, "Not yet exported"));
    ImGui::Text("Last export reason: %s", OrFallback(view.lastExportReason, "Not yet exported"));
    ImGui::Text("Last match capture: %s",
                OrFallback(view.lastMatchCapture, "No ranked matches captured yet"));
    ImGui::Text("Pending match captures: %d", view.pendingCaptures);
    ImGui::Text("Last exported playlists: %d", view.exportedPlaylists);

    if (!view.statusMessage.empty()) {
      ImGui::Spacing();
      ImGui::TextWrapped("Status: %s", view.statusMessage.c_str());
    }
    if (!view.lastError.empty()) {
      ImGui::Spacing();
      ImGui::TextWrapped("Last error: %s", view.lastError.c_str());
    }

    ImGui::Spacing();
    // The host draws this tab on its render thread, which must never call the
    // game: the export reads the account, the ratings and the game state, so it
    // runs on the game thread, and its outcome shows from a later frame on.
    if (ImGui::Button("Run test export now")) {
      view.game->Execute(
          Guarded([this](GameWrapper*) { ExportSnapshot(true, "Settings test export"); }));
    }
    ImGui::SameLine();
    if (ImGui::Button("Log plugin status")) view.console->executeCommand("tallyloom_status", true);
    ImGui::Spacing();
    ImGui::TextWrapped(
        "TallyLoom writes ranked snapshots and per-match history to your .tallyloom folder "
        "automatically. The desktop app watches those files, so users should not need to run "
        "console commands during normal use.");
  });
}
