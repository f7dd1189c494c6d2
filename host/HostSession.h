// One run of the simulated host: virtual time, the host model behind the SDK,
// the plugin library and its object, and the script commands that drive them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bakkesmod/plugin/PluginSettingsWindow.h"
#include "bakkesmod/plugin/bakkesmodplugin.h"
#include "host/HostOptions.h"
#include "host/HostPlatform.h"
#include "host/PluginLibrary.h"
#include "host/SettingsDriver.h"
#include "platform/testing/FaultInjectionEnv.h"
#include "platform/testing/VirtualClockEnv.h"
#include "script/ScriptCommand.h"
#include "sdk/model/HostModel.h"

namespace host {

class SettingsThread;
class SettingsWork;

class HostSession {
 public:
  // `wall_start` is the Unix time of virtual time 0.
  HostSession(const HostOptions& options, std::int64_t wall_start, std::FILE* out);
  ~HostSession();

  platform::Env* env() { return &clock_env_; }

  // The calling thread is the game thread from now on: it loads the plugin,
  // runs the scripts, fires the timers and runs GameWrapper::Execute's work.
  // In sessions that draw on another thread, a game call from any other
  // thread ends the session (sdk/model/GameThread.h).
  void BecomeGameThread();

  bool LoadPlugin(std::string* error);
  void UnloadPlugin();

  enum class Outcome { kContinue, kQuit, kError };
  Outcome Execute(const hostscript::Command& command, std::string* error);
  // Runs a whole script; script errors are printed to standard error.
  Outcome RunScript(std::istream& in, const std::string& name, bool interactive);

  sdkhost::HostModel& model() { return model_; }
  void Flush();

  // The settings window, for a real window to attach to.
  SettingsDriver& settings() { return settings_; }
  // Hands all settings-window work to the thread behind `work` (a window's
  // thread); nullptr draws on the calling thread again.
  void DrawOn(SettingsWork* work) { drawing_ = work; }

  // Virtual time follows real time until RequestStop (a live window).
  void FollowRealTime();
  // From any thread: the session ends; a running script stops before its next
  // command.
  void RequestStop();

 private:
  void PrintLine(const std::string& text);
  std::string ExportFolderPath();
  Outcome RunConsole(const std::vector<std::string>& words, std::string* error);
  // Runs `work` on the thread that draws the settings window.
  void OnDrawingThread(const std::function<void()>& work);
  Outcome Screenshot(const std::string& path, std::string* error);
  Outcome Help(const std::string& topic, std::string* error);

  HostOptions options_;
  std::FILE* out_;
  std::mutex out_mutex_;

  platform::VirtualClock clock_;
  platform::FaultInjectionEnv fault_env_;
  platform::VirtualClockEnv clock_env_;
  sdkhost::HostModel model_;
  SettingsDriver settings_;
  std::unique_ptr<SettingsThread> settings_thread_;
  SettingsWork* drawing_ = nullptr;  // where settings work runs; nullptr: here

  std::mutex stop_mutex_;
  std::condition_variable stop_changed_;
  std::atomic<bool> stop_requested_{false};

  // Files of the export folder that the "desktop app" holds open.
  std::map<std::string, std::unique_ptr<HeldFile>> held_files_;

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
