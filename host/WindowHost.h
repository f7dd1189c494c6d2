// The settings window in a real window (--window): GLFW and OpenGL 3 through
// Dear ImGui's own backends. The window lives on the thread that opens it
// (the process's main thread); that thread draws it continuously and runs the
// work that the game thread hands over, so it is the host's render thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "host/SettingsDriver.h"
#include "host/SettingsThread.h"

struct GLFWwindow;

namespace host {

class WindowHost : public FrameBackend {
 public:
  static constexpr int kWidth = 860;
  static constexpr int kHeight = 420;

  // Opens the window and attaches it to `driver`; nullptr and `error` when no
  // window can be had (no display, no OpenGL 3).
  static std::unique_ptr<WindowHost> Open(SettingsDriver* driver, const std::string& title,
                                          std::string* error);
  ~WindowHost() override;
  WindowHost(const WindowHost&) = delete;
  WindowHost& operator=(const WindowHost&) = delete;

  // Work for the window's thread, from the game thread.
  SettingsWork& work() { return work_; }

  // Runs the window on the calling thread until Finish. When the user closes
  // the window, it disappears and `on_close` runs; work handed over is still
  // carried out until Finish, so the game thread can wind down.
  void Run(const std::function<void()>& on_close);
  // From any thread: the session is over, Run returns.
  void Finish();

  // FrameBackend.
  void NewFrame() override;
  void Present(Image* capture) override;
  bool SavePng(const Image& image, const std::string& path, std::string* error) override;

 private:
  WindowHost(SettingsDriver* driver, GLFWwindow* window);

  SettingsDriver* driver_;
  GLFWwindow* window_;
  SettingsWork work_;
  std::atomic<bool> finished_{false};
  bool closed_ = false;
};

}  // namespace host
