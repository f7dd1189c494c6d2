// What the host finds in the library: the plugin record and the two functions
// that create and drop the one plugin object.
#include <cstdint>
#include <memory>

#include "bakkesmod/plugin/bakkesmodplugin.h"
#include "plugin/PluginVersion.h"
#include "plugin/TallyLoomMMR.h"

#if defined(_WIN32)
#define TALLYLOOM_VISIBLE __declspec(dllexport)
#else
#define TALLYLOOM_VISIBLE __attribute__((visibility("default")))
#endif
#define TALLYLOOM_EXPORT extern "C" TALLYLOOM_VISIBLE

namespace {

// What the library holds while it is loaded: the one plugin object, and the
// throttles that outlive it (LibraryThrottles, in TallyLoomMMR.h). The object is owned by a
// shared pointer whose address is what the host keeps; it is made from the
// TallyLoomMMR pointer itself, so the object is destroyed as a TallyLoomMMR
// even though the host sees it through a base without a virtual destructor.
// The plugin goes before the throttles it refers to.
struct Library {
  LibraryThrottles throttles;
  std::shared_ptr<TallyLoomMMR> plugin;
};
Library library;

}  // namespace

TALLYLOOM_EXPORT std::uintptr_t getPlugin() {
  if (!library.plugin) {
    library.plugin = std::shared_ptr<TallyLoomMMR>(new TallyLoomMMR(library.throttles));
  }
  return reinterpret_cast<std::uintptr_t>(&library.plugin);
}

TALLYLOOM_EXPORT void deleteMe() {
  if (library.plugin) library.plugin.reset();
}

// Filled member by member as the host declares the record; the padding of a
// static record is zero.
extern "C" {
TALLYLOOM_VISIBLE BakkesMod::Plugin::PluginInfo exports = {
    BAKKESMOD_PLUGIN_API_VERSION,
    __FILE__,
    kPluginClassName,
    kPluginTitle,
    kPluginVersion,
    0,
    &getPlugin,
    &deleteMe,
};
}
