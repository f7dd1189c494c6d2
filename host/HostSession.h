// One run of the simulated host: virtual time, the host model behind the SDK,
// the plugin library and its object, and the script commands that drive them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <istream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bakkesmod/plugin/PluginSettingsWindow.h"
#include "bakkesmod/plugin/bakkesmodplugin.h"
#include "host/HostOptions.h"
#include "host/PluginLibrary.h"
#include "host/SettingsDriver.h"
#include "platform/testing/FaultInjectionEnv.h"
#include "platform/testing/VirtualClockEnv.h"
#include "script/ScriptCommand.h"
#include "sdk/model/HostModel.h"

namespace host {

class SettingsThread;

class HostSession {
 public:
  // `wall_start` is the Unix time of virtual time 0.
  HostSession(const HostOptions& options, std::int64_t wall_start, std::FILE* out);
  ~HostSession();

  platform::Env* env() { return &clock_env_; }

  bool LoadPlugin(std::string* error);
  void UnloadPlugin();

  enum class Outcome { kContinue, kQuit, kError };
  Outcome Execute(const hostscript::Command& command, std::string* error);
  // Runs a whole script; script errors are printed to standard error.
  Outcome RunScript(std::istream& in, const std::string& name, bool interactive);

  sdkhost::HostModel& model() { return model_; }
  void Flush();

 private:
  void PrintLine(const std::string& text);
  Outcome RunConsole(const std::vector<std::string>& words, std::string* error);
  std::string SettingsText();
  bool ClickSettings(const std::string& label);

  HostOptions options_;
  std::FILE* out_;
  std::mutex out_mutex_;

  platform::VirtualClock clock_;
  platform::FaultInjectionEnv fault_env_;
  platform::VirtualClockEnv clock_env_;
  sdkhost::HostModel model_;
  SettingsDriver settings_;
  std::unique_ptr<SettingsThread> settings_thread_;

  std::unique_ptr<PluginLibrary> library_;
  std::shared_ptr<BakkesMod::Plugin::BakkesModPlugin> plugin_;
  BakkesMod::Plugin::PluginSettingsWindow* tab_ = nullptr;
  int owner_ = 0;
  // Handles of unloaded plugins stay alive: their timers still run.
  std::vector<std::shared_ptr<GameWrapper>> game_wrappers_;
  std::vector<std::shared_ptr<CVarManagerWrapper>> cvar_managers_;
};

// The environment every plugin in this process uses (see platform::Env).
void InstallHostEnv(platform::Env* env);

}  // namespace host
