// A plugin object on an in-process host model, with the real operating system
// underneath (real files, real clocks), for benchmarks.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/testing/VirtualClockEnv.h"
#include "plugin/TallyLoomMMR.h"
#include "sdk/model/HostModel.h"

class BenchPlugin {
 public:
  BenchPlugin();
  ~BenchPlugin();

  TallyLoomMMR& plugin() { return *plugin_; }
  sdkhost::HostModel& model() { return model_; }
  const std::filesystem::path& profile() const { return profile_; }
  std::filesystem::path ExportFolder() const { return profile_ / ".tallyloom"; }

  // An account and ratings in all seven ranked playlists.
  void SetUpRatings();

 private:
  std::filesystem::path profile_;
  platform::VirtualClock clock_;
  sdkhost::HostModel model_;
  LibraryThrottles throttles_;
  std::shared_ptr<TallyLoomMMR> plugin_;
};

// A fresh folder under the temporary folder, removed with the object.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};
