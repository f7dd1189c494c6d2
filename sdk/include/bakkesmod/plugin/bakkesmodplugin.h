#pragma once

#include <cstdint>
#include <memory>

#include "bakkesmod/plugin/bakkesmodsdk.h"
#include "bakkesmod/sdk_api.h"
#include "bakkesmod/wrappers/GameWrapper.h"
#include "bakkesmod/wrappers/cvarmanagerwrapper.h"

// The host's own header brings in the whole Windows API, and with it macros
// such as ReplaceFile and GetEnvironmentVariable; so does this one, so that a
// plugin's sources meet here what they meet there.
#if defined(_WIN32)
#include <windows.h>
#endif

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

typedef std::uintptr_t (*GetPluginFunc)();
typedef void (*deleteFunc)();

// The record a plugin library exports as `exports`, declared member for member
// as the host declares it; the host reads it to check and create the plugin.
// With natural alignment it is 64 bytes on a 64-bit system, with zero padding
// after the version and after the type in a static record.
struct PluginInfo {
  short apiBuildVersion;
  const char* fileName;
  const char* className;
  const char* pluginName;
  const char* pluginVersion;
  // Windows' unsigned long: 32 bits. Where long is wider, the same 32 bits.
#if defined(_WIN32)
  const unsigned long pluginType;
#else
  const std::uint32_t pluginType;
#endif
  GetPluginFunc initializeFunc;
  deleteFunc delFunc;
};

}  // namespace BakkesMod::Plugin
