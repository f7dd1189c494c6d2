// A plugin object wired to an in-process host model, virtual clocks and fault
// injection, for tests that drive the plugin directly rather than through
// tallyloom-host.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Env.h"
#include "platform/testing/FaultInjectionEnv.h"
#include "platform/testing/VirtualClockEnv.h"
#include "plugin/TallyLoomMMR.h"
#include "sdk/model/HostModel.h"

class PluginHarness {
 public:
  // 2026-12-06T21:00:00 UTC at virtual time 0.
  static constexpr std::int64_t kWallStart = 1796590800;

  PluginHarness();
  ~PluginHarness();

  // A fresh profile folder (USERPROFILE) under a temporary directory.
  const std::filesystem::path& profile() const { return profile_; }
  std::filesystem::path ExportFolder() const { return profile_ / ".tallyloom"; }

  // Creates the plugin object and hands it the host's handles (no onLoad).
  TallyLoomMMR& Create();
  TallyLoomMMR& Load();  // Create + onLoad
  void Unload();         // onUnload + destroy
  TallyLoomMMR* plugin() { return plugin_.get(); }

  sdkhost::HostModel& model() { return model_; }
  platform::FaultInjectionEnv& faults() { return faults_; }
  void Advance(double seconds);

  // Console lines logged so far (without time), and a way to forget them.
  const std::vector<std::string>& console() const { return console_; }
  void ClearConsole() { console_.clear(); }

  static std::string ReadFile(const std::filesystem::path& path);
  static void WriteFile(const std::filesystem::path& path, const std::string& bytes);

 private:
  std::filesystem::path root_;
  std::filesystem::path profile_;
  platform::VirtualClock clock_;
  platform::FaultInjectionEnv faults_;
  platform::VirtualClockEnv env_;
  sdkhost::HostModel model_;
  std::vector<std::string> console_;
  // Kept across Unload and Load, as the library keeps them.
  LibraryThrottles throttles_;
  std::shared_ptr<TallyLoomMMR> plugin_;
  int owner_ = 0;
  std::vector<std::shared_ptr<GameWrapper>> game_wrappers_;
  std::string saved_userprofile_;
  bool had_userprofile_ = false;
};
