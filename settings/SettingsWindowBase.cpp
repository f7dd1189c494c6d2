#include "settings/SettingsWindowBase.h"

#include <imgui.h>

#include "plugin/PluginVersion.h"

std::string SettingsWindowBase::GetPluginName() { return kPluginDisplayName; }

void SettingsWindowBase::SetImGuiContext(std::uintptr_t ctx) {
  ImGui::SetCurrentContext(reinterpret_cast<ImGuiContext*>(ctx));
}
