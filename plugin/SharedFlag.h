// The two switches are booleans that the host writes when their console
// variables change, possibly from its render thread. The plugin's own reads
// and writes are atomic; a read is safe from the host's write only if the
// host too writes the bool in one store, as a compiler does for a plain bool
// on the host's platforms. Its SDK does not say so: the plugin assumes it.
#pragma once

#include <atomic>
#include <memory>

inline bool ReadSharedFlag(const std::shared_ptr<bool>& flag) {
  return std::atomic_ref<bool>(*flag).load(std::memory_order_acquire);
}

inline void WriteSharedFlag(const std::shared_ptr<bool>& flag, bool value) {
  std::atomic_ref<bool>(*flag).store(value, std::memory_order_release);
}
