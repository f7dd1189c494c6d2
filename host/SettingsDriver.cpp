#include "host/SettingsDriver.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <cfloat>

#include "bakkesmod/plugin/PluginSettingsWindow.h"
#include "host/TextLines.h"

namespace host {
namespace {

// Headless frames need a display; its size only matters for where widgets land.
constexpr float kHeadlessWidth = 1280.0f;
constexpr float kHeadlessHeight = 800.0f;
constexpr float kHeadlessFrameSeconds = 1.0f / 60.0f;
constexpr const char* kWindowTitle = "BakkesMod Settings";
// Far more than a window and a tab bar need to settle.
constexpr int kMaxSettleFrames = 20;

}  // namespace

SettingsDriver::SettingsDriver() : context_(ImGui::CreateContext()) {
  ImGui::SetCurrentContext(context_);
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;
  io.LogFilename = nullptr;
  io.DisplaySize = ImVec2(kHeadlessWidth, kHeadlessHeight);
  io.DeltaTime = kHeadlessFrameSeconds;
  unsigned char* pixels = nullptr;
  int width = 0, height = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
}

SettingsDriver::~SettingsDriver() { ImGui::DestroyContext(context_); }

void SettingsDriver::SetTab(BakkesMod::Plugin::PluginSettingsWindow* tab) {
  tab_ = tab;
  shown_in_a_row_ = 0;
}

void SettingsDriver::Settle() {
  if (tab_ == nullptr) return;
  for (int i = 0; i < kMaxSettleFrames && shown_in_a_row_ < kSettledFrames; ++i) {
    Frame(FrameRequest{});
  }
}

SettingsDriver::FrameResult SettingsDriver::Frame(const FrameRequest& request) {
  ImGui::SetCurrentContext(context_);
  ImGuiIO& io = ImGui::GetIO();
  if (backend_ != nullptr) {
    backend_->NewFrame();
    // Two frames within one tick of the window's clock must still move time.
    if (io.DeltaTime <= 0.0f) io.DeltaTime = 1e-6f;
  } else {
    io.DeltaTime = kHeadlessFrameSeconds;
    io.MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
    io.MouseDown[0] = false;
  }
  if (mouse_) {
    io.MousePos = ImVec2(mouse_->x, mouse_->y);
    io.MouseDown[0] = mouse_->down;
  }

  FrameResult result;
  ImGui::NewFrame();
  ImGui::SetNextWindowPos(ImVec2(0, 0));
  ImGui::SetNextWindowSize(io.DisplaySize);
  ImGui::Begin(kWindowTitle, nullptr,
               ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize |
                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoCollapse);
  if (ImGui::BeginTabBar("plugins")) {
    const std::string name = tab_ != nullptr ? tab_->GetPluginName() : std::string("Plugins");
    if (ImGui::BeginTabItem(name.c_str())) {
      ImGuiContext& g = *context_;
      ImGuiWindow* window = ImGui::GetCurrentWindow();
      result.content_shown = tab_ != nullptr && !window->Hidden && !window->SkipItems;
      ImGuiID probe_id = 0;
      if (request.probe_label != nullptr) {
        // The tab item has pushed its ID, so this is the ID the plugin's widget
        // gets from its label. With the focus on that ID the widget records its
        // rectangle when it is drawn.
        probe_id = ImGui::GetID(request.probe_label->c_str());
        ImGui::SetWindowFocus();
        ImGui::SetFocusID(probe_id, window);
      }
      if (request.log) ImGui::LogToBuffer();
      if (tab_ != nullptr) tab_->RenderSettings();
      if (request.log) {
        // LogFinish empties the buffer, so read it first.
        result.text = g.LogBuffer.c_str();
        ImGui::LogFinish();
      }
      if (request.probe_label != nullptr) {
        result.found = g.NavIdIsAlive && g.NavId == probe_id;
        if (result.found) {
          const ImRect rect =
              ImGui::WindowRectRelToAbs(window, window->NavRectRel[ImGuiNavLayer_Main]);
          result.x = (rect.Min.x + rect.Max.x) * 0.5f;
          result.y = (rect.Min.y + rect.Max.y) * 0.5f;
        }
      }
      ImGui::EndTabItem();
    }
    ImGui::EndTabBar();
  }
  ImGui::End();
  if (backend_ != nullptr) {
    ImGui::Render();
    backend_->Present(request.capture);
  } else {
    ImGui::EndFrame();
  }
  shown_in_a_row_ = result.content_shown ? shown_in_a_row_ + 1 : 0;
  return result;
}

std::string SettingsDriver::DrawAndRead() {
  Settle();
  return Frame(FrameRequest{.log = true}).text;
}

void SettingsDriver::DrawIdle() { Frame(FrameRequest{}); }

bool SettingsDriver::Probe(const std::string& label, float* x, float* y) {
  const FrameResult probe = Frame(FrameRequest{.probe_label = &label});
  *x = probe.x;
  *y = probe.y;
  return probe.found;
}

std::vector<std::string> SettingsDriver::WidgetLabels() {
  // Dear ImGui's text log shows a checkbox as "[x] LABEL" or "[ ] LABEL" and a
  // button as "[ LABEL ]", buttons on one line joined by a space.
  std::vector<std::string> candidates;
  const std::string text = DrawAndRead();
  for (const std::string_view row : SplitLines(text)) {
    if (row.starts_with("[x] ") || row.starts_with("[ ] ")) {
      candidates.emplace_back(row.substr(4));
      continue;
    }
    for (std::size_t open = row.find("[ "); open != std::string_view::npos;
         open = row.find("[ ", open + 2)) {
      const std::size_t close = row.find(" ]", open + 2);
      if (close == std::string_view::npos) break;
      candidates.emplace_back(row.substr(open + 2, close - open - 2));
    }
  }
  std::vector<std::string> labels;
  for (const std::string& candidate : candidates) {
    float x = 0, y = 0;
    if (Probe(candidate, &x, &y)) labels.push_back(candidate);
  }
  return labels;
}

bool SettingsDriver::Click(const std::string& label, std::string* release_text) {
  Settle();
  float x = 0, y = 0;
  if (!Probe(label, &x, &y)) return false;
  mouse_ = Mouse{x, y, true};
  Frame(FrameRequest{});
  mouse_->down = false;
  FrameRequest release;
  release.log = release_text != nullptr;
  const FrameResult released = Frame(release);
  if (release_text != nullptr) *release_text = released.text;
  mouse_.reset();
  return true;
}

bool SettingsDriver::Capture(Image* image) {
  if (backend_ == nullptr) return false;
  Settle();
  Frame(FrameRequest{.capture = image});
  return true;
}

bool SettingsDriver::Screenshot(const std::string& path, std::string* error) {
  Image image;
  if (!Capture(&image)) {
    *error = "needs a real window (run with --window)";
    return false;
  }
  return backend_->SavePng(image, path, error);
}

}  // namespace host
