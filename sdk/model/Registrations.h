// What plugins have registered with the game: hooks on game functions and
// per-frame drawables, each kept with the plugin that owns it.
//
// Thread safety: every member may be called from any thread; callbacks run
// without the lock held, so a callback may register or unregister.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "bakkesmod/sdk_api.h"

class CanvasWrapper;

namespace sdkhost {

class PLUGINSDK_API Registrations {
 public:
  Registrations();
  ~Registrations();
  Registrations(const Registrations&) = delete;
  Registrations& operator=(const Registrations&) = delete;

  void HookEvent(int owner, const std::string& name, std::function<void(std::string)> callback);
  void UnhookEvent(int owner, const std::string& name);
  void RegisterDrawable(int owner, std::function<void(CanvasWrapper)> callback);
  void UnregisterDrawables(int owner);
  // Everything `owner` registered goes, as when the host unloads a plugin.
  void Forget(int owner);

  // The game runs function `name`: every callback hooked to it runs.
  void FireEvent(const std::string& name);
  // One frame: every drawable runs once.
  void DrawFrame();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sdkhost
