#include "host/HostSession.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <type_traits>

#include <fmt/format.h>

#include "host/HostPlatform.h"
#include "host/Narration.h"
#include "host/Overloaded.h"
#include "host/SettingsThread.h"
#include "script/ScriptReader.h"
#include "script/ScriptWords.h"
#include "sdk/model/GameThread.h"

namespace host {
namespace {

sdkhost::GameState ToModel(hostscript::GameState state) {
  switch (state) {
    case hostscript::GameState::kMenu:
      return sdkhost::GameState::kMenu;
    case hostscript::GameState::kFreeplay:
      return sdkhost::GameState::kFreeplay;
    case hostscript::GameState::kTraining:
      return sdkhost::GameState::kTraining;
    case hostscript::GameState::kOnline:
      return sdkhost::GameState::kOnline;
    case hostscript::GameState::kReplay:
      return sdkhost::GameState::kReplay;
  }
  return sdkhost::GameState::kMenu;
}

sdkhost::Link ToModel(hostscript::DropTarget target) {
  switch (target) {
    case hostscript::DropTarget::kPlaylist:
      return sdkhost::Link::kPlaylist;
    case hostscript::DropTarget::kTeams:
      return sdkhost::Link::kTeams;
    case hostscript::DropTarget::kPlayer:
      return sdkhost::Link::kPlayer;
    case hostscript::DropTarget::kPri:
      return sdkhost::Link::kPri;
  }
  return sdkhost::Link::kPlaylist;
}

platform::FaultOp ToFault(hostscript::FaultPoint point) {
  switch (point) {
    case hostscript::FaultPoint::kMkdir:
      return platform::FaultOp::kMkdir;
    case hostscript::FaultPoint::kOpen:
      return platform::FaultOp::kOpen;
    case hostscript::FaultPoint::kWrite:
      return platform::FaultOp::kWrite;
    case hostscript::FaultPoint::kClose:
      return platform::FaultOp::kClose;
    case hostscript::FaultPoint::kReplace:
      return platform::FaultOp::kReplace;
    case hostscript::FaultPoint::kCrash:
      return platform::FaultOp::kCrash;
  }
  return platform::FaultOp::kOpen;
}

std::string DefaultPluginPath() {
#ifdef _WIN32
  const char* name = "TallyLoomMMR.dll";
#else
  const char* name = "TallyLoomMMR.so";
#endif
  return (std::filesystem::path(ProgramFolder()) / name).string();
}

}  // namespace

HostSession::HostSession(const HostOptions& options, std::int64_t wall_start, std::FILE* out)
    : options_(options),
      out_(out),
      fault_env_(platform::NewOsEnv()),
      clock_env_(&fault_env_, &clock_, wall_start),
      model_(&clock_) {
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
  Flush();
}

void HostSession::PrintLine(const std::string& text) {
  const std::int64_t millis = model_.time().NowNanos() / 1'000'000;
  const std::string line = fmt::format("[{}.{:03}] {}\n", millis / 1000, millis % 1000, text);
  std::lock_guard lock(out_mutex_);
  std::fwrite(line.data(), 1, line.size(), out_);
}

void HostSession::Flush() {
  std::lock_guard lock(out_mutex_);
  std::fflush(out_);
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

void HostSession::OnDrawingThread(const std::function<void()>& work) {
  if (drawing_ != nullptr) {
    drawing_->Run(work);
  } else {
    work();
  }
}

HostSession::Outcome HostSession::Screenshot(const std::string& path, std::string* error) {
  bool written = false;
  std::string why;
  OnDrawingThread([&] { written = settings_.Screenshot(path, &why); });
  if (!written) {
    *error = "screenshot: " + why;
    return Outcome::kError;
  }
  return Outcome::kContinue;
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
    Flush();
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

std::string HostSession::ExportFolderPath() {
  // Where the plugin writes, by the same rule: USERPROFILE, else HOME, else here.
  platform::Env* env = &clock_env_;
  std::string folder = env->ReadEnvironmentVariable("USERPROFILE")
                           .value_or(env->ReadEnvironmentVariable("HOME").value_or("."));
  folder += platform::kPathSeparator;
  folder += ".tallyloom";
  return folder;
}

HostSession::Outcome HostSession::RunConsole(const std::vector<std::string>& words,
                                             std::string* error) {
  switch (model_.console().TypeIntoConsole(words)) {
    case sdkhost::Console::Result::kDone:
      return Outcome::kContinue;
    case sdkhost::Console::Result::kUnknownName:
      *error = fmt::format("unknown command \"{}\"", words[0]);
      return Outcome::kError;
    case sdkhost::Console::Result::kBadValue:
      *error = fmt::format("{}: bad value (a console variable takes one number)", words[0]);
      return Outcome::kError;
  }
  return Outcome::kError;
}

HostSession::Outcome HostSession::Help(const std::string& topic, std::string* error) {
  std::string text;
  for (const hostscript::CommandHelp& entry : hostscript::CommandTable()) {
    if (!topic.empty() && entry.name != topic) continue;
    text += fmt::format("  {}\n      {}\n", entry.usage, entry.summary);
  }
  if (topic.empty()) {
    text = "Commands, one per line (# starts a comment; docs/host.md has the details):\n" + text +
           "Any other line is typed into the host console: a console variable alone prints its\n"
           "value, a variable and a number sets it, a command runs with its words.\n";
  } else if (text.empty()) {
    if (model_.console().HasCommand(topic) || model_.console().CvarExists(topic)) {
      text = fmt::format("  {}\n      a console {} of the plugin, typed into the host console\n",
                         topic, model_.console().HasCommand(topic) ? "command" : "variable");
    } else {
      *error = fmt::format("help: no command \"{}\" (help lists them)", topic);
      return Outcome::kError;
    }
  }
  std::lock_guard lock(out_mutex_);
  std::fwrite(text.data(), 1, text.size(), out_);
  return Outcome::kContinue;
}

HostSession::Outcome HostSession::Execute(const hostscript::Command& command, std::string* error) {
  using namespace hostscript;
  // The story line comes before what the plugin does about it; commands that
  // can be refused tell it once they are accepted.
  const std::string story = options_.narrate ? Narration(command) : std::string();
  const auto tell = [&] {
    if (!story.empty()) PrintLine(story);
  };
  const bool refusable = std::holds_alternative<StateCommand>(command) ||
                         std::holds_alternative<DropCommand>(command) ||
                         std::holds_alternative<PluginCommand>(command) ||
                         std::holds_alternative<HoldCommand>(command) ||
                         std::holds_alternative<ReleaseCommand>(command);
  if (!refusable) tell();
  return std::visit(
      Overloaded{
          [&](const WaitCommand& c) {
            model_.time().Advance(c.nanoseconds);
            return Outcome::kContinue;
          },
          [&](const StateCommand& c) {
            if (c.state == GameState::kOnline && !model_.game().HasMatch()) {
              *error = "state online: no match has been set up (use match first)";
              return Outcome::kError;
            }
            tell();
            model_.game().SetState(ToModel(c.state));
            return Outcome::kContinue;
          },
          [&](const AccountCommand& c) {
            switch (c.kind) {
              case AccountKind::kNone:
                model_.game().SetAccountUid(0);
                break;
              case AccountKind::kUid:
                model_.game().SetAccountUid(c.uid);
                break;
              case AccountKind::kText:
                model_.game().SetAccountText(c.text);
                break;
            }
            return Outcome::kContinue;
          },
          [&](const NameCommand& c) {
            model_.game().SetPlayerName(c.name);
            return Outcome::kContinue;
          },
          [&](const MmrCommand& c) {
            if (!c.value) {
              model_.game().SetMmrUnsynced(c.playlist);
            } else if (c.afterNanoseconds) {
              const int playlist = c.playlist;
              const float value = *c.value;
              model_.time().ScheduleAction(*c.afterNanoseconds, [this, playlist, value] {
                if (options_.narrate) PrintLine(RatingNarration(playlist, value));
                model_.game().SetMmr(playlist, value);
              });
            } else {
              model_.game().SetMmr(c.playlist, *c.value);
            }
            return Outcome::kContinue;
          },
          [&](const SyncingCommand& c) {
            model_.game().SetSyncing(c.on);
            return Outcome::kContinue;
          },
          [&](const MatchCommand& c) {
            sdkhost::MatchSetup match;
            match.playlist_id = c.playlist;
            match.ranked = c.ranked;
            match.score_blue = c.blueGoals;
            match.score_orange = c.orangeGoals;
            match.local_team = c.team;
            switch (c.winner) {
              case WinnerKind::kUnspecified:
                if (c.blueGoals > c.orangeGoals) match.winner = 0;
                if (c.orangeGoals > c.blueGoals) match.winner = 1;
                break;
              case WinnerKind::kNone:
                break;
              case WinnerKind::kTeam:
                match.winner = c.winnerTeam;
                break;
            }
            model_.game().SetMatch(match);
            return Outcome::kContinue;
          },
          [&](const EventCommand& c) {
            model_.registrations().FireEvent(c.function);
            return Outcome::kContinue;
          },
          [&](const DropCommand& c) {
            if (!model_.game().Drop(ToModel(c.target))) {
              *error = "drop: there is no current game (state menu or replay)";
              return Outcome::kError;
            }
            tell();
            return Outcome::kContinue;
          },
          [&](const FaultCommand& c) {
            fault_env_.Fail(ToFault(c.point), c.always);
            return Outcome::kContinue;
          },
          [&](const FaultClearCommand&) {
            fault_env_.Clear();
            return Outcome::kContinue;
          },
          [&](const PluginCommand& c) {
            if (c.load) {
              if (!plugin_) tell();
              return LoadPlugin(error) ? Outcome::kContinue : Outcome::kError;
            }
            if (!plugin_) {
              *error = "plugin unload: no plugin is loaded";
              return Outcome::kError;
            }
            tell();
            UnloadPlugin();
            return Outcome::kContinue;
          },
          [&](const SettingsCommand&) {
            if (tab_ == nullptr) {
              *error = "settings: no plugin tab (the plugin is not loaded)";
              return Outcome::kError;
            }
            std::string text;
            OnDrawingThread([&] { text = settings_.DrawAndRead(); });
            std::istringstream rows(text);
            std::string block;
            for (std::string row; std::getline(rows, row);) {
              // Dear ImGui's text log ends rows in CR LF on Windows.
              if (!row.empty() && row.back() == '\r') row.pop_back();
              block += "  " + row + "\n";
            }
            std::lock_guard lock(out_mutex_);
            std::fwrite(block.data(), 1, block.size(), out_);
            return Outcome::kContinue;
          },
          [&](const ClickCommand& c) {
            if (tab_ == nullptr) {
              *error = "click: no plugin tab (the plugin is not loaded)";
              return Outcome::kError;
            }
            bool found = false;
            std::vector<std::string> labels;
            OnDrawingThread([&] {
              found = settings_.Click(c.label);
              if (!found) labels = settings_.WidgetLabels();
            });
            if (!found) {
              std::string known;
              for (const std::string& label : labels) {
                known += (known.empty() ? "" : ", ") + hostscript::QuoteWord(label);
              }
              *error = fmt::format("click: the tab has no widget labelled {}; its labels: {}",
                                   hostscript::QuoteWord(c.label), known);
              return Outcome::kError;
            }
            return Outcome::kContinue;
          },
          [&](const ScreenshotCommand& c) { return Screenshot(c.file, error); },
          [&](const HoldCommand& c) {
            const std::string path = ExportFolderPath() + platform::kPathSeparator + c.file;
            const auto sharing = c.sharing == HoldSharing::kNone    ? HeldFile::Sharing::kNone
                                 : c.sharing == HoldSharing::kRead  ? HeldFile::Sharing::kRead
                                 : c.sharing == HoldSharing::kWrite ? HeldFile::Sharing::kWrite
                                                                    : HeldFile::Sharing::kAll;
            std::string why;
            auto held = HeldFile::Open(path, sharing, &why);
            if (!held) {
              *error = fmt::format("hold: cannot open {}: {}", path, why);
              return Outcome::kError;
            }
            held_files_[c.file] = std::move(held);
            tell();
            return Outcome::kContinue;
          },
          [&](const ReleaseCommand& c) {
            if (held_files_.erase(c.file) == 0) {
              *error = fmt::format("release: {} is not held", c.file);
              return Outcome::kError;
            }
            tell();
            return Outcome::kContinue;
          },
          [&](const HelpCommand& c) { return Help(c.topic, error); },
          [&](const QuitCommand&) { return Outcome::kQuit; },
          [&](const ConsoleCommand& c) { return RunConsole(c.words, error); },
      },
      command);
}

HostSession::Outcome HostSession::RunScript(std::istream& in, const std::string& name,
                                            bool interactive) {
  hostscript::ScriptReader reader(in, name);
  for (;;) {
    // Work handed to the game thread (a settings button) runs before the next
    // command, as the game runs it before its next tick.
    model_.time().RunPosted();
    if (stop_requested_.load()) return Outcome::kQuit;
    if (interactive) {
      Flush();
      std::fputs("tallyloom> ", stderr);
      std::fflush(stderr);
    }
    hostscript::Command command;
    int line = 0;
    hostscript::ScriptError script_error;
    const auto result = reader.Next(&command, &line, &script_error);
    if (result == hostscript::ScriptReader::Result::kEnd) return Outcome::kContinue;
    if (result == hostscript::ScriptReader::Result::kError) {
      Flush();
      std::fprintf(stderr, "%s\n", hostscript::FormatError(script_error).c_str());
      if (interactive) continue;
      return Outcome::kError;
    }
    std::string error;
    const Outcome outcome = Execute(command, &error);
    if (outcome == Outcome::kError) {
      Flush();
      std::fprintf(stderr, "%s\n",
                   hostscript::FormatError(hostscript::ScriptError{name, line, error}).c_str());
      if (interactive) continue;
      return Outcome::kError;
    }
    if (outcome == Outcome::kQuit) return Outcome::kQuit;
  }
}

}  // namespace host
