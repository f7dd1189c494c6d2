#pragma once

#include <cstdint>
#include <string>

#include "bakkesmod/plugin/PluginSettingsWindow.h"

// The host's settings-tab interface with the parts every plugin writes alike:
// its name and taking over the host's Dear ImGui context.
class SettingsWindowBase : public BakkesMod::Plugin::PluginSettingsWindow {
 public:
  std::string GetPluginName() override;
  void SetImGuiContext(std::uintptr_t ctx) override;
};
