#include "host/PluginLibrary.h"

#include <cstring>

#include <fmt/format.h>

#ifdef _WIN32
#include <windows.h>

#include "platform/WindowsText.h"
#else
#include <dlfcn.h>
#endif

namespace host {
namespace {

#ifdef _WIN32
void* OpenLibrary(const std::string& path, std::string* error) {
  HMODULE module = LoadLibraryW(platform::Utf8ToWide(path).c_str());
  if (module == nullptr) *error = fmt::format("error {}", GetLastError());
  return reinterpret_cast<void*>(module);
}
void* FindSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
#else
void* OpenLibrary(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) *error = dlerror();
  return handle;
}
void* FindSymbol(void* handle, const char* name) { return dlsym(handle, name); }
#endif

}  // namespace

// The library stays mapped, so that timers of an unloaded plugin can still
// fire: the worst case a plugin can survive (the real host releases it).
PluginLibrary::~PluginLibrary() = default;

std::unique_ptr<PluginLibrary> PluginLibrary::Open(const std::string& path, std::string* error) {
  std::string why;
  void* handle = OpenLibrary(path, &why);
  if (handle == nullptr) {
    *error = fmt::format("cannot load plugin library {}: {}", path, why);
    return nullptr;
  }
  const auto* info =
      static_cast<const BakkesMod::Plugin::PluginInfo*>(FindSymbol(handle, "exports"));
  if (info == nullptr) {
    *error = fmt::format("{} has no plugin record (exports)", path);
    return nullptr;
  }
  if (info->apiBuildVersion != BAKKESMOD_PLUGIN_API_VERSION) {
    *error = fmt::format("{} speaks plugin API {}, the host {}", path, info->apiBuildVersion,
                         BAKKESMOD_PLUGIN_API_VERSION);
    return nullptr;
  }
  if (info->className == nullptr || info->pluginVersion == nullptr ||
      info->initializeFunc == nullptr || info->delFunc == nullptr) {
    *error = fmt::format("{} has an incomplete plugin record", path);
    return nullptr;
  }
  if (FindSymbol(handle, "getPlugin") != reinterpret_cast<void*>(info->initializeFunc) ||
      FindSymbol(handle, "deleteMe") != reinterpret_cast<void*>(info->delFunc)) {
    *error = fmt::format("{}: the plugin record does not point at getPlugin and deleteMe", path);
    return nullptr;
  }
  return std::unique_ptr<PluginLibrary>(new PluginLibrary(handle, info));
}

std::shared_ptr<BakkesMod::Plugin::BakkesModPlugin>* PluginLibrary::CreatePlugin() {
  // The holder is the plugin's shared pointer; its first base is the plugin
  // base, at the same address, which is what the host relies on.
  return reinterpret_cast<std::shared_ptr<BakkesMod::Plugin::BakkesModPlugin>*>(
      info_->initializeFunc());
}

void PluginLibrary::DeletePlugin() { info_->delFunc(); }

}  // namespace host
