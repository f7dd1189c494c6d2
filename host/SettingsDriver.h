// Draws the host's settings window with the plugin's tab into the host's own
// Dear ImGui context, headless: reads what the tab shows and clicks its
// widgets with real mouse input.
#pragma once

#include <string>

struct ImGuiContext;

namespace BakkesMod::Plugin {
class PluginSettingsWindow;
}

namespace host {

class SettingsDriver {
 public:
  SettingsDriver();
  ~SettingsDriver();
  SettingsDriver(const SettingsDriver&) = delete;
  SettingsDriver& operator=(const SettingsDriver&) = delete;

  ImGuiContext* context() const { return context_; }
  void SetTab(BakkesMod::Plugin::PluginSettingsWindow* tab) { tab_ = tab; }

  // One frame; the tab's visible text as Dear ImGui's text log renders it.
  std::string DrawAndRead();
  // Clicks the widget labelled `label`: false when the tab has no such widget.
  bool Click(const std::string& label);
  // One frame with no input, as a live host draws continuously.
  void DrawIdle();

 private:
  enum class Probe { kNone, kFind };
  // Draws one frame; returns the logged text when `log` is set.
  std::string Frame(bool log, const std::string* probe_label, bool* found, float* x, float* y);

  ImGuiContext* context_;
  BakkesMod::Plugin::PluginSettingsWindow* tab_ = nullptr;
};

}  // namespace host
