// The settings tab, drawn by the host on its render thread. It copies the
// tab's state and the switches, draws from that copy, and calls the host
// without any lock of the plugin's held. It never calls the game: the test
// export runs on the game thread through Execute, and its outcome shows from
// a later frame on.
#include "export/ExportFolder.h"
#include "plugin/SharedFlag.h"
#include "plugin/TallyLoomMMR.h"
#include "settings/SettingsTab.h"

void TallyLoomMMR::RenderSettings() {
  Shielded([this] {
    TabView view;
    view.enabled = IsEnabled();
    view.autoExport = IsAutoExportOn();
    view.snapshotPath = ExportFilePath(kSnapshotFileName);
    view.historyPath = ExportFilePath(kMatchHistoryFileName);
    view.rows = tab_.Rows();

    TabActions actions;
    actions.setSwitch = [this](const char* variable, bool on, const char* message) {
      cvarManager->getCvar(variable).setValue(on ? 1 : 0);
      Log(message);
    };
    actions.exportNow = [this] {
      gameWrapper->Execute(
          Guarded([this](GameWrapper*) { ExportSnapshot(true, "Settings test export"); }));
    };
    actions.logStatus = [this] { cvarManager->executeCommand("tallyloom_status", true); };
    DrawSettingsTab(view, actions);
  });
}
