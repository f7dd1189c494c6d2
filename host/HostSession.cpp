#include "host/HostSession.h"

#include <chrono>
#include <filesystem>

#include "host/HostPlatform.h"
#include "host/SettingsThread.h"
#include "sdk/model/GameThread.h"

namespace host {
namespace {

std::string DefaultPluginPath() {
#ifdef _WIN32
  const char* name = "TallyLoomMMR.dll";
#else
  const char* name = "TallyLoomMMR.so";
#endif
  return (std::filesystem::path(ProgramFolder()) / name).string();
}

}  // namespace

HostSession::HostSession(const HostOptions& options, std::int64_t wall_start, Output& output)
    : options_(options),
      output_(output),
      fault_env_(platform::NewOsEnv()),
      clock_env_(&fault_env_, &clock_, wall_start),
      model_(&clock_),
      desktop_(&clock_env_) {
  InstallHostEnv(&clock_env_);
  model_.time().SetFramesPerSecond(options.fps);
  model_.console().SetLogSink([this](const std::string& line) { PrintLine(line); });
  // A real window draws on the thread that opens it, and main hands it over.
  if (options.render_thread && !options.window) {
    settings_thread_ = std::make_unique<SettingsThread>(&settings_);
    drawing_ = &settings_thread_->work();
  }
}

HostSession::~HostSession() {
  sdkhost::StopEnforcingGameThread();
  drawing_ = nullptr;
  settings_thread_.reset();
  output_.Flush();
}

void HostSession::BecomeGameThread() {
  if (options_.render_thread || options_.window) sdkhost::EnforceGameThread();
}

bool HostSession::LoadPlugin(std::string* error) {
  if (plugin_) {
    *error = "plugin load: the plugin is already loaded";
    return false;
  }
  if (!library_) {
    const std::string path =
        options_.plugin_path.empty() ? DefaultPluginPath() : options_.plugin_path;
    library_ = PluginLibrary::Open(path, error);
    if (!library_) return false;
  }
  auto* holder = library_->CreatePlugin();
  if (holder == nullptr || !*holder) {
    *error = "plugin load: getPlugin gave no plugin";
    return false;
  }
  plugin_ = *holder;
  ++owner_;
  auto cvar_manager = model_.NewCVarManager(owner_);
  auto game_wrapper = model_.NewGameWrapper(owner_);
  cvar_managers_.push_back(cvar_manager);
  game_wrappers_.push_back(game_wrapper);
  plugin_->cvarManager = cvar_manager;
  plugin_->gameWrapper = game_wrapper;
  tab_ = dynamic_cast<BakkesMod::Plugin::PluginSettingsWindow*>(plugin_.get());
  if (tab_ != nullptr) {
    OnDrawingThread([this] {
      tab_->SetImGuiContext(reinterpret_cast<std::uintptr_t>(settings_.context()));
      settings_.SetTab(tab_);
    });
  }
  plugin_->onLoad();
  return true;
}

void HostSession::UnloadPlugin() {
  if (!plugin_) return;
  // The settings window stops drawing the tab before the plugin goes.
  OnDrawingThread([this] { settings_.SetTab(nullptr); });
  tab_ = nullptr;
  plugin_->onUnload();
  model_.ForgetOwner(owner_);
  plugin_.reset();
  library_->DeletePlugin();
}

void HostSession::PrintLine(std::string_view text) { output_.Line(model_.time().NowNanos(), text); }

void HostSession::Tell(std::string_view story) {
  if (options_.narrate) PrintLine(story);
}

void HostSession::OnDrawingThread(const std::function<void()>& work) {
  if (drawing_ != nullptr) {
    drawing_->Run(work);
  } else {
    work();
  }
}

void HostSession::FollowRealTime() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point last = Clock::now();
  std::unique_lock lock(stop_mutex_);
  // Time moves in steps of about one frame of a 60 Hz screen; the model draws
  // the frames and fires the timers that fall inside each step.
  while (!stop_changed_.wait_for(lock, std::chrono::milliseconds(16),
                                 [this] { return stop_requested_.load(); })) {
    lock.unlock();
    const Clock::time_point now = Clock::now();
    model_.time().Advance(std::chrono::duration_cast<std::chrono::nanoseconds>(now - last).count());
    last = now;
    // Someone is watching: console lines show as they come, also in a pipe.
    output_.Flush();
    lock.lock();
  }
}

void HostSession::RequestStop() {
  {
    std::lock_guard lock(stop_mutex_);
    stop_requested_.store(true);
  }
  stop_changed_.notify_all();
}

}  // namespace host
