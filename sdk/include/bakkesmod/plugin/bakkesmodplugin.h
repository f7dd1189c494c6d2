#pragma once

#include <cstdint>
#include <memory>

#include "bakkesmod/sdk_api.h"
#include "bakkesmod/wrappers/GameWrapper.h"
#include "bakkesmod/wrappers/cvarmanagerwrapper.h"

// The plugin interface version this host speaks.
#define BAKKESMOD_PLUGIN_API_VERSION 95

namespace BakkesMod::Plugin {

// The base of every plugin. The host fills both handles before onLoad.
// Deliberately without a virtual destructor, as the host's ABI has it: a plugin
// is owned through a shared pointer made from its own type.
class BakkesModPlugin {
 public:
  std::shared_ptr<CVarManagerWrapper> cvarManager;
  std::shared_ptr<GameWrapper> gameWrapper;

  virtual void onLoad() {}
  virtual void onUnload() {}
};

enum PLUGINTYPE : std::uint64_t { PLUGINTYPE_NONE = 0 };

// The record a plugin library exports as `exports`: the host reads it to check
// and create the plugin. 64 bytes on 64-bit systems.
struct PluginInfo {
  std::int32_t apiBuildVersion;
  std::int32_t padding;
  const char* fileName;
  const char* className;
  const char* pluginName;
  const char* pluginVersion;
  std::uint64_t pluginType;
  std::uintptr_t (*initializeFunc)();
  void (*deleteFunc)();
};

}  // namespace BakkesMod::Plugin
