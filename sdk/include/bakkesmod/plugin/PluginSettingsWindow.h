#pragma once

#include <cstdint>
#include <string>

#include "bakkesmod/sdk_api.h"

namespace BakkesMod::Plugin {

// A plugin's tab in the host's settings window, drawn with Dear ImGui.
class PLUGINSDK_API PluginSettingsWindow {
 public:
  virtual ~PluginSettingsWindow();
  virtual void RenderSettings() = 0;
  virtual std::string GetPluginName() = 0;
  // The host's Dear ImGui context, as a pointer-sized integer.
  virtual void SetImGuiContext(std::uintptr_t ctx) = 0;
};

}  // namespace BakkesMod::Plugin
