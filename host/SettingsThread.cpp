#include "host/SettingsThread.h"

#include <chrono>

namespace host {

SettingsThread::SettingsThread(SettingsDriver* driver)
    : driver_(driver), thread_([this] { Loop(); }) {}

SettingsThread::~SettingsThread() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void SettingsThread::Run(const std::function<void()>& work) {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return work_ == nullptr; });
  work_ = &work;
  wake_.notify_all();
  done_.wait(lock, [this, &work] { return work_ != &work; });
}

void SettingsThread::Loop() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    if (work_ != nullptr) {
      const std::function<void()>* work = work_;
      lock.unlock();
      (*work)();
      lock.lock();
      work_ = nullptr;
      done_.notify_all();
      continue;
    }
    lock.unlock();
    driver_->DrawIdle();
    lock.lock();
    // About one frame of a 60 Hz window between draws.
    wake_.wait_for(lock, std::chrono::milliseconds(16), [this] { return stop_ || work_; });
  }
}

}  // namespace host
