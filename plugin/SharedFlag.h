// The two switches are booleans that the host writes when their console
// variables change, possibly from its render thread; they are read here with
// atomic loads so that a read never races the host's write.
#pragma once

#include <atomic>
#include <memory>

inline bool ReadSharedFlag(const std::shared_ptr<bool>& flag) {
  return std::atomic_ref<bool>(*flag).load(std::memory_order_acquire);
}

inline void WriteSharedFlag(const std::shared_ptr<bool>& flag, bool value) {
  std::atomic_ref<bool>(*flag).store(value, std::memory_order_release);
}
