// One run of the simulated host, from start to end: virtual time and the host
// model behind the SDK, the environment the plugin sees (virtual clocks, fault
// injection), the plugin library and its object, the settings window and the
// thread that draws it, and the desktop app. Script commands act on it through
// a CommandRunner.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "bakkesmod/plugin/PluginSettingsWindow.h"
#include "bakkesmod/plugin/bakkesmodplugin.h"
#include "host/DesktopApp.h"
#include "host/HostOptions.h"
#include "host/Output.h"
#include "host/PluginLibrary.h"
#include "host/SettingsDriver.h"
#include "platform/testing/FaultInjectionEnv.h"
#include "platform/testing/VirtualClockEnv.h"
#include "sdk/model/HostModel.h"

namespace host {

class SettingsThread;
class SettingsWork;

class HostSession {
 public:
  // `wall_start` is the Unix time of virtual time 0. The plugin's console
  // lines go to `output`.
  HostSession(const HostOptions& options, std::int64_t wall_start, Output& output);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // The calling thread is the game thread from now on: it loads the plugin,
  // runs the scripts, fires the timers and runs GameWrapper::Execute's work.
  // In sessions that draw on another thread, a game call from any other
  // thread ends the session (sdk/model/GameThread.h).
  void BecomeGameThread();

  // Loads the library on first use and the plugin object, as the host does;
  // false with `error` when the plugin is loaded already or cannot be had.
  bool LoadPlugin(std::string* error);
  // onUnload, then deleteMe; the library stays mapped and its timers fire.
  void UnloadPlugin();
  bool HasPlugin() const { return plugin_ != nullptr; }
  bool HasTab() const { return tab_ != nullptr; }

  // What script commands act on.
  sdkhost::HostModel& model() { return model_; }
  platform::FaultInjectionEnv& faults() { return fault_env_; }
  DesktopApp& desktop() { return desktop_; }
  Output& output() { return output_; }
  SettingsDriver& settings() { return settings_; }
  // Runs `work` on the thread that draws the settings window.
  void OnDrawingThread(const std::function<void()>& work);
  // Hands all settings-window work to the thread behind `work` (a window's
  // thread); nullptr draws on the calling thread again.
  void DrawOn(SettingsWork* work) { drawing_ = work; }

  // A console line at the current virtual time, always printed: the
  // plugin's log, and any line a command prints of its own.
  void PrintLine(std::string_view text);
  // With --narrate: what a command does to the game, the console or the
  // files, as a console line of its own at the current virtual time.
  void Tell(std::string_view story);

  // Virtual time follows real time until RequestStop (a live window).
  void FollowRealTime();
  // From any thread: the session ends; a running script stops before its next
  // command.
  void RequestStop();
  bool StopRequested() const { return stop_requested_.load(); }

 private:
  HostOptions options_;
  Output& output_;

  platform::VirtualClock clock_;
  platform::FaultInjectionEnv fault_env_;
  platform::VirtualClockEnv clock_env_;
  sdkhost::HostModel model_;
  DesktopApp desktop_;
  SettingsDriver settings_;
  std::unique_ptr<SettingsThread> settings_thread_;
  SettingsWork* drawing_ = nullptr;  // where settings work runs; nullptr: here

  std::mutex stop_mutex_;
  std::condition_variable stop_changed_;
  std::atomic<bool> stop_requested_{false};

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
