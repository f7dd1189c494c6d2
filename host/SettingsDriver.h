// Draws the host's settings window with the plugin's tab into the host's own
// Dear ImGui context: headless, or through a real window's backends. Reads
// what the tab shows, clicks its widgets with real mouse input and captures
// the rendered window. Every member must be called on the thread that draws.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct ImGuiContext;

namespace BakkesMod::Plugin {
class PluginSettingsWindow;
}

namespace host {

// Pixels of one rendered frame: RGB, rows from the top.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
};

// What turns frames into pixels on a screen: a window's platform and renderer
// backends. Without one the driver draws headless.
class FrameBackend {
 public:
  virtual ~FrameBackend() = default;
  // Before the frame is built: display size, frame time and the real input.
  virtual void NewFrame() = 0;
  // After it is built: renders and shows it; with `capture`, reads it back first.
  virtual void Present(Image* capture) = 0;
  // Writes a captured frame as a PNG file; false with `error` when it cannot.
  virtual bool SavePng(const Image& image, const std::string& path, std::string* error) = 0;
};

class SettingsDriver {
 public:
  SettingsDriver();
  ~SettingsDriver();
  SettingsDriver(const SettingsDriver&) = delete;
  SettingsDriver& operator=(const SettingsDriver&) = delete;

  ImGuiContext* context() const { return context_; }
  // A new tab is laid out afresh: see Settle.
  void SetTab(BakkesMod::Plugin::PluginSettingsWindow* tab);
  void SetBackend(FrameBackend* backend) { backend_ = backend; }

  // Reading, clicking and capturing act on a tab that Dear ImGui has laid out:
  // each first draws frames until the tab's content has been shown in
  // kSettledFrames frames in a row. A new window or tab bar, or a tab that
  // replaces another, shows its content only from its first or second frame.
  static constexpr int kSettledFrames = 2;

  // One frame; the tab's visible text as Dear ImGui's text log renders it.
  std::string DrawAndRead();
  // Clicks the widget labelled `label`: a probe frame finds it, then the mouse
  // goes down and up over its centre in two more frames. False when the tab
  // has no such widget. `release_text`, when given, receives the text of the
  // frame in which the mouse went up, the frame in which the widget fires.
  bool Click(const std::string& label, std::string* release_text = nullptr);
  // The labels of the tab's checkboxes and buttons, top to bottom: read from
  // the text the tab shows and confirmed, each, by finding its widget.
  std::vector<std::string> WidgetLabels();
  // One frame with no scripted input, as a live host draws continuously.
  void DrawIdle();
  // One frame, read back from the window; false when drawing headless.
  bool Capture(Image* image);
  // One frame, written as a PNG file; false with `error` when headless or
  // when the file cannot be written.
  bool Screenshot(const std::string& path, std::string* error);

 private:
  struct Mouse {
    float x = 0;
    float y = 0;
    bool down = false;
  };
  struct FrameRequest {
    bool log = false;                          // return the tab's logged text
    const std::string* probe_label = nullptr;  // find this widget's rectangle
    Image* capture = nullptr;                  // read the rendered frame back
  };
  struct FrameResult {
    bool content_shown = false;  // the tab was selected and its window shown
    std::string text;
    bool found = false;
    float x = 0;
    float y = 0;
  };
  FrameResult Frame(const FrameRequest& request);
  void Settle();
  bool Probe(const std::string& label, float* x, float* y);

  ImGuiContext* context_;
  BakkesMod::Plugin::PluginSettingsWindow* tab_ = nullptr;
  FrameBackend* backend_ = nullptr;
  int shown_in_a_row_ = 0;  // frames in a row that showed the tab's content
  // Scripted mouse input, which overrides the real mouse while a click runs.
  std::optional<Mouse> mouse_;
};

}  // namespace host
