#include "host/SettingsDriver.h"

#include <imgui.h>
#include <imgui_internal.h>

#include "bakkesmod/plugin/PluginSettingsWindow.h"

namespace host {
namespace {

constexpr float kWidth = 1280.0f;
constexpr float kHeight = 800.0f;
constexpr const char* kWindowTitle = "BakkesMod Settings";

}  // namespace

SettingsDriver::SettingsDriver() : context_(ImGui::CreateContext()) {
  ImGui::SetCurrentContext(context_);
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;
  io.LogFilename = nullptr;
  io.DisplaySize = ImVec2(kWidth, kHeight);
  io.DeltaTime = 1.0f / 60.0f;
  unsigned char* pixels = nullptr;
  int width = 0, height = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
}

SettingsDriver::~SettingsDriver() { ImGui::DestroyContext(context_); }

std::string SettingsDriver::Frame(bool log, const std::string* probe_label, bool* found, float* x,
                                  float* y) {
  ImGui::SetCurrentContext(context_);
  ImGui::NewFrame();
  ImGui::SetNextWindowPos(ImVec2(0, 0));
  ImGui::SetNextWindowSize(ImVec2(kWidth, kHeight));
  std::string text;
  ImGui::Begin(kWindowTitle, nullptr,
               ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize |
                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoCollapse);
  if (ImGui::BeginTabBar("plugins")) {
    const std::string name = tab_ != nullptr ? tab_->GetPluginName() : std::string("Plugins");
    if (ImGui::BeginTabItem(name.c_str())) {
      ImGuiWindow* window = ImGui::GetCurrentWindow();
      ImGuiID probe_id = 0;
      if (probe_label != nullptr) {
        // Focusing the widget's ID makes it record its rectangle when drawn.
        probe_id = ImGui::GetID(probe_label->c_str());
        ImGui::SetWindowFocus();
        ImGui::SetFocusID(probe_id, window);
      }
      if (log) ImGui::LogToBuffer();
      if (tab_ != nullptr) tab_->RenderSettings();
      if (log) {
        ImGuiContext& g = *context_;
        text = g.LogBuffer.c_str();
        ImGui::LogFinish();
      }
      if (probe_label != nullptr) {
        ImGuiContext& g = *context_;
        *found = g.NavIdIsAlive && g.NavId == probe_id;
        if (*found) {
          const ImRect rect =
              ImGui::WindowRectRelToAbs(window, window->NavRectRel[ImGuiNavLayer_Main]);
          *x = (rect.Min.x + rect.Max.x) * 0.5f;
          *y = (rect.Min.y + rect.Max.y) * 0.5f;
        }
      }
      ImGui::EndTabItem();
    }
    ImGui::EndTabBar();
  }
  ImGui::End();
  ImGui::EndFrame();
  return text;
}

std::string SettingsDriver::DrawAndRead() {
  return Frame(true, nullptr, nullptr, nullptr, nullptr);
}

void SettingsDriver::DrawIdle() { Frame(false, nullptr, nullptr, nullptr, nullptr); }

bool SettingsDriver::Click(const std::string& label) {
  bool found = false;
  float x = 0, y = 0;
  Frame(false, &label, &found, &x, &y);
  if (!found) return false;
  ImGui::SetCurrentContext(context_);
  ImGuiIO& io = ImGui::GetIO();
  io.MousePos = ImVec2(x, y);
  io.MouseDown[0] = true;
  Frame(false, nullptr, nullptr, nullptr, nullptr);
  io.MouseDown[0] = false;
  Frame(false, nullptr, nullptr, nullptr, nullptr);
  io.MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
  return true;
}

}  // namespace host
