#include "host/SettingsThread.h"

namespace host {

void SettingsWork::Run(const std::function<void()>& work) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return work_ == nullptr; });
  work_ = &work;
  const std::uint64_t ticket = ++handed_;
  changed_.notify_all();
  if (wake_) wake_();
  changed_.wait(lock, [this, ticket] { return finished_ >= ticket; });
}

bool SettingsWork::RunPending() {
  std::unique_lock lock(mutex_);
  if (work_ == nullptr) return false;
  const std::function<void()>* work = work_;
  lock.unlock();
  (*work)();
  lock.lock();
  work_ = nullptr;
  ++finished_;
  changed_.notify_all();
  return true;
}

void SettingsWork::WaitForWork(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [this] { return stop_ || work_ != nullptr; });
}

void SettingsWork::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (wake_) wake_();
}

bool SettingsWork::stopped() const {
  std::lock_guard lock(mutex_);
  return stop_;
}

SettingsThread::SettingsThread(SettingsDriver* driver)
    : driver_(driver), thread_([this] { Loop(); }) {}

SettingsThread::~SettingsThread() {
  work_.Stop();
  thread_.join();
}

void SettingsThread::Loop() {
  while (!work_.stopped()) {
    if (work_.RunPending()) continue;
    driver_->DrawIdle();
    // About one frame of a 60 Hz screen between idle frames.
    work_.WaitForWork(std::chrono::milliseconds(16));
  }
}

}  // namespace host
