// A plugin library loaded the way the host loads one: by path, through its
// exported record and entry points only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bakkesmod/plugin/bakkesmodplugin.h"

namespace host {

class PluginLibrary {
 public:
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Opens the library and checks its record; nullptr and `error` on failure.
  static std::unique_ptr<PluginLibrary> Open(const std::string& path, std::string* error);

  const BakkesMod::Plugin::PluginInfo& info() const { return *info_; }

  // The plugin's owning holder, as getPlugin hands it out.
  std::shared_ptr<BakkesMod::Plugin::BakkesModPlugin>* CreatePlugin();
  void DeletePlugin();

 private:
  PluginLibrary(void* handle, const BakkesMod::Plugin::PluginInfo* info)
      : handle_(handle), info_(info) {}

  void* handle_;
  const BakkesMod::Plugin::PluginInfo* info_;
};

}  // namespace host
