// The plugin's tab in the host's settings window: the two switches, the
// status block and two buttons, drawn with Dear ImGui from a view copied for
// the frame. The tab calls nothing itself: what its widgets do goes through
// the actions it is handed.
#pragma once

#include <functional>
#include <string>

#include "settings/TabState.h"

struct TabView {
  bool enabled = true;
  bool autoExport = false;
  std::string snapshotPath;
  std::string historyPath;
  TabRows rows;
};

struct TabActions {
  // Sets a switch's console variable to `on` and logs `message`.
  std::function<void(const char* variable, bool on, const char* message)> setSwitch;
  std::function<void()> exportNow;
  std::function<void()> logStatus;
};

// Draws one frame of the tab. A switch's new state and its message show in
// the same frame.
void DrawSettingsTab(TabView& view, const TabActions& actions);
