// The host's render thread: draws the settings window continuously, as the
// real host does, while the script drives the game on the main thread. Work
// for the settings window (read, click, attach a tab) is handed to it.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "host/SettingsDriver.h"

namespace host {

class SettingsThread {
 public:
  explicit SettingsThread(SettingsDriver* driver);
  ~SettingsThread();
  SettingsThread(const SettingsThread&) = delete;
  SettingsThread& operator=(const SettingsThread&) = delete;

  // Runs `work` on the render thread between two frames and waits for it.
  void Run(const std::function<void()>& work);

 private:
  void Loop();

  SettingsDriver* driver_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void()>* work_ = nullptr;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace host
