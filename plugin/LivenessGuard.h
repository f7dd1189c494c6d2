// Host callbacks hold a plain pointer to the plugin, and a timer may fire after
// the plugin that set it is unloaded: the simulated host lets it, the worst
// case a plugin can survive. (Whether the real host cancels an unloaded
// plugin's timers is not known; it releases the library, so if it kept them
// they would run code that is gone, which no guard can help.) Each callback
// therefore also holds this plugin object's own liveness flag: the flag
// outlives the object, turns false when the object is destroyed, and is never
// shared with a later object, even one built at the same address.
#pragma once

#include <atomic>
#include <memory>

class LivenessGuard {
 public:
  using Token = std::shared_ptr<const std::atomic<bool>>;

  LivenessGuard() : alive_(std::make_shared<std::atomic<bool>>(true)) {}
  ~LivenessGuard() { alive_->store(false, std::memory_order_release); }
  LivenessGuard(const LivenessGuard&) = delete;
  LivenessGuard& operator=(const LivenessGuard&) = delete;

  Token token() const { return alive_; }
  static bool IsAlive(const Token& token) { return token->load(std::memory_order_acquire); }

 private:
  std::shared_ptr<std::atomic<bool>> alive_;
};
