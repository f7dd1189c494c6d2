// tallyloom-host: loads the TallyLoom MMR plugin the way the game's mod host
// does and plays scripted game sessions on virtual time.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include <fmt/format.h>

#include "host/Demo.h"
#include "host/HostOptions.h"
#include "host/HostPlatform.h"
#include "host/HostSession.h"
#include "host/LocalClock.h"
#include "script/ScriptWords.h"
#if TALLYLOOM_HOST_WINDOW
#include "host/WindowHost.h"
#endif

namespace {

// A script file read whole before the plugin loads, so that a missing or
// unreadable one is reported before anything runs.
struct ScriptSource {
  std::string name;  // as given; "-" is standard input, read as the session goes
  std::string text;
};

bool ReadScript(const std::string& name, ScriptSource* script, std::string* error) {
  script->name = name;
  if (name == "-") return true;
  const std::filesystem::path path = std::filesystem::u8path(name);
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = fmt::format("cannot read script {}: it is a folder", name);
    return false;
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = fmt::format("cannot open script {}: {}", name,
                         errno != 0 ? std::strerror(errno) : "cannot be opened");
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    *error = fmt::format("cannot read script {}", name);
    return false;
  }
  script->text = text.str();
  return true;
}

// The options a script asks for in lines "# host-options: ...", so that it
// runs by hand as its scenario test runs it.
bool ScriptOptions(const ScriptSource& script, std::vector<std::string>* options,
                   std::string* error) {
  constexpr std::string_view kPrefix = "# host-options:";
  std::istringstream lines(script.text);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (line.rfind(kPrefix, 0) != 0) continue;
    std::vector<std::string> words;
    std::string why;
    if (!hostscript::SplitWords(std::string_view(line).substr(kPrefix.size()), &words, &why)) {
      *error = fmt::format("{}:{}: host-options: {}", script.name, number, why);
      return false;
    }
    // Options only: a script cannot name further scripts.
    std::vector<char*> argv{nullptr};
    for (std::string& word : words) argv.push_back(word.data());
    host::HostOptions parsed;
    bool help = false;
    if (!host::ParseHostOptions(static_cast<int>(argv.size()), argv.data(), &parsed, &help, &why) ||
        !parsed.scripts.empty()) {
      *error = fmt::format("{}:{}: host-options: {}", script.name, number,
                           help          ? "--help is no option for a script"
                           : why.empty() ? "only options, no scripts"
                                         : why);
      return false;
    }
    options->insert(options->end(), words.begin(), words.end());
  }
  return true;
}

bool PrepareProfile(const std::string& folder, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::u8path(folder), ec);
  if (ec) {
    *error = fmt::format("--profile {}: {}", folder, ec.message());
    return false;
  }
  host::SetProfileVariable(folder);
  return true;
}

// One of the plugin's files as the desktop app reads it: its lines, CR LF
// line ends read as line ends.
void PrintExportFile(const char* title, const std::filesystem::path& path) {
  std::printf("\n%s: %s\n", title, path.string().c_str());
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::printf("  (not written)\n");
    return;
  }
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::printf("  %s\n", line.c_str());
  }
}

using Outcome = host::HostSession::Outcome;

// Loads the plugin and plays the demo and the scripts; gives the exit code.
int PlaySession(host::HostSession& session, const host::HostOptions& options,
                const std::vector<ScriptSource>& scripts, Outcome* outcome) {
  *outcome = Outcome::kContinue;
  session.BecomeGameThread();
  std::string error;
  if (!session.LoadPlugin(&error)) {
    std::fprintf(stderr, "tallyloom-host: %s\n", error.c_str());
    return 1;
  }

  if (options.demo) {
    std::istringstream demo(host::DemoScript());
    *outcome = session.RunScript(demo, "demo", false);
  }
  for (const ScriptSource& script : scripts) {
    if (*outcome != Outcome::kContinue) break;
    if (script.name == "-") {
      *outcome = session.RunScript(std::cin, "-", host::StdinIsTerminal());
      continue;
    }
    std::istringstream in(script.text);
    *outcome = session.RunScript(in, script.name, false);
  }

  if (options.demo) {
    const std::filesystem::path folder = std::filesystem::u8path(*options.profile) / ".tallyloom";
    session.Flush();
    PrintExportFile("Snapshot file", folder / "bakkesmod_mmr.json");
    PrintExportFile("Match history file", folder / "bakkesmod_match_history.jsonl");
  }
  session.Flush();
  return *outcome == Outcome::kError ? 1 : 0;
}

// --window: the window lives on this, the main thread, which draws it and
// carries out the settings work; the session plays on a game thread and, once
// its scripts are done, lets virtual time follow real time until the window is
// closed. `quit` or a script error closes the window.
int PlayInWindow(host::HostSession& session, const host::HostOptions& options,
                 const std::vector<ScriptSource>& scripts) {
#if TALLYLOOM_HOST_WINDOW
  std::string error;
  std::unique_ptr<host::WindowHost> window =
      host::WindowHost::Open(&session.settings(), "TallyLoom MMR - tallyloom-host", &error);
  if (!window) {
    std::fprintf(stderr, "tallyloom-host: %s\n", error.c_str());
    return 1;
  }
  session.DrawOn(&window->work());
  int code = 0;
  std::thread game([&] {
    Outcome outcome = Outcome::kContinue;
    code = PlaySession(session, options, scripts, &outcome);
    if (code == 0 && outcome == Outcome::kContinue) session.FollowRealTime();
    window->Finish();
  });
  window->Run([&] { session.RequestStop(); });
  game.join();
  session.DrawOn(nullptr);
  window.reset();
  session.Flush();
  return code;
#else
  (void)session;
  (void)options;
  (void)scripts;
  std::fprintf(stderr, "tallyloom-host: --window: this build has no window support\n");
  return 1;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  host::UseBinaryStdout();
  std::vector<std::string> arguments = host::Utf8Arguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& argument : arguments) utf8_argv.push_back(argument.data());
  argc = static_cast<int>(utf8_argv.size());
  argv = utf8_argv.data();

  host::HostOptions options;
  bool help = false;
  std::string error;
  const auto usage_error = [](const std::string& message) {
    std::fprintf(stderr, "tallyloom-host: %s\n%s", message.c_str(), host::HostUsage());
    return 2;
  };
  if (!host::ParseHostOptions(argc, argv, &options, &help, &error)) {
    if (help) {
      std::fputs(host::HostUsage(), stdout);
      return 0;
    }
    return usage_error(error);
  }

  // Without a script, a terminal gets an interactive session; anything else
  // would run nothing.
  if (options.scripts.empty() && !options.demo && !options.window) {
    if (!host::StdinIsTerminal()) return usage_error("no script to run");
    options.scripts.push_back("-");
  }

  // Every script is read before the plugin loads; their "# host-options:"
  // come first, so that the command line has the last word.
  std::vector<ScriptSource> scripts;
  std::vector<std::string> script_options;
  for (const std::string& name : options.scripts) {
    ScriptSource script;
    if (!ReadScript(name, &script, &error) || !ScriptOptions(script, &script_options, &error)) {
      std::fprintf(stderr, "tallyloom-host: %s\n", error.c_str());
      return 2;
    }
    scripts.push_back(std::move(script));
  }
  if (!script_options.empty()) {
    std::vector<char*> combined{argv[0]};
    for (std::string& option : script_options) combined.push_back(option.data());
    for (int i = 1; i < argc; ++i) combined.push_back(argv[i]);
    host::HostOptions with_scripts;
    if (!host::ParseHostOptions(static_cast<int>(combined.size()), combined.data(), &with_scripts,
                                &help, &error)) {
      return usage_error("a script's host-options: " + error);
    }
    with_scripts.scripts = options.scripts;
    options = with_scripts;
  }

  std::int64_t wall_start = 0;
  if (options.clock) {
    if (!host::ParseLocalClock(*options.clock, &wall_start, &error)) {
      std::fprintf(stderr, "tallyloom-host: %s\n", error.c_str());
      return 2;
    }
  } else {
    wall_start = std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::system_clock::now().time_since_epoch())
                     .count();
  }

  if (options.demo && !options.profile) {
    const std::optional<std::string> scratch = host::MakeScratchFolder("tallyloom-demo-");
    if (!scratch) {
      std::fprintf(stderr, "tallyloom-host: cannot make a scratch profile folder\n");
      return 1;
    }
    options.profile = *scratch;
    std::printf("Demo profile folder: %s\n", scratch->c_str());
  }
  if (options.profile && !PrepareProfile(*options.profile, &error)) {
    std::fprintf(stderr, "tallyloom-host: %s\n", error.c_str());
    return 1;
  }

  host::HostSession session(options, wall_start, stdout);
  if (options.window) return PlayInWindow(session, options, scripts);
  Outcome outcome = Outcome::kContinue;
  return PlaySession(session, options, scripts, &outcome);
}
