// The settings window is drawn by a thread of its own, as in the real host:
// the render thread (--render-thread) or the window's thread (--window). The
// script keeps running on the game thread and hands every piece of work for
// the settings window (read it, click it, take a screenshot, attach or detach
// a tab) to the drawing thread, waiting until it is done. So a script's
// console lines come in the same order as in a headless run, while idle
// frames keep the tab drawn concurrently with hooks and timers.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "host/SettingsDriver.h"

namespace host {

// One piece of work at a time, handed from the game thread to the drawing
// thread.
class SettingsWork {
 public:
  // `wake` rouses a drawing thread that waits somewhere else than in
  // WaitForWork (a window waiting for its events); it may be empty.
  explicit SettingsWork(std::function<void()> wake = nullptr) : wake_(std::move(wake)) {}
  SettingsWork(const SettingsWork&) = delete;
  SettingsWork& operator=(const SettingsWork&) = delete;

  // Game thread: runs `work` on the drawing thread and returns once it ran.
  void Run(const std::function<void()>& work);

  // Drawing thread: runs the work handed over, if any; true when it did.
  bool RunPending();
  // Drawing thread: waits until work arrives, Stop is called or `timeout` passes.
  void WaitForWork(std::chrono::milliseconds timeout);

  void Stop();
  bool stopped() const;

 private:
  std::function<void()> wake_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  const std::function<void()>* work_ = nullptr;
  std::uint64_t handed_ = 0;    // pieces of work handed over so far
  std::uint64_t finished_ = 0;  // pieces of work that have run
  bool stop_ = false;
};

// The render thread of --render-thread: draws the settings window about sixty
// times a second and runs the work handed to it in between.
class SettingsThread {
 public:
  explicit SettingsThread(SettingsDriver* driver);
  ~SettingsThread();
  SettingsThread(const SettingsThread&) = delete;
  SettingsThread& operator=(const SettingsThread&) = delete;

  SettingsWork& work() { return work_; }

 private:
  void Loop();

  SettingsDriver* driver_;
  SettingsWork work_;
  std::thread thread_;
};

}  // namespace host
