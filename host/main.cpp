// tallyloom-host: loads the TallyLoom MMR plugin the way the game's mod host
// does and plays scripted game sessions on virtual time.
#include <fmt/format.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "host/CommandRunner.h"
#include "host/Demo.h"
#include "host/HostOptions.h"
#include "host/HostPlatform.h"
#include "host/HostSession.h"
#include "host/LocalClock.h"
#include "host/Output.h"
#include "host/TextLines.h"
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
  int number = 0;
  for (const std::string_view line : host::SplitLines(script.text)) {
    ++number;
    if (!line.starts_with(kPrefix)) continue;
    std::vector<std::string> words;
    std::string why;
    if (!hostscript::SplitWords(line.substr(kPrefix.size()), &words, &why)) {
      *error = fmt::format("{}:{}: host-options: {}", script.name, number, why);
      return false;
    }
    // Options only: a script cannot name further scripts.
    host::HostOptions parsed;
    bool help = false;
    if (!host::ParseHostOptions(words, &parsed, &help, &why) || !parsed.scripts.empty()) {
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

// Loads the plugin and plays the demo and the scripts; gives the exit code.
int PlaySession(host::HostSession& session, host::CommandRunner& runner,
                const host::HostOptions& options, const std::vector<ScriptSource>& scripts,
                host::Outcome* outcome) {
  *outcome = host::Outcome::kContinue;
  session.BecomeGameThread();
  std::string error;
  if (!session.LoadPlugin(&error)) {
    session.output().Error(fmt::format("tallyloom-host: {}\n", error));
    return 1;
  }

  if (options.demo) {
    std::istringstream demo(host::DemoScript());
    *outcome = runner.RunScript(demo, "demo", false);
  }
  for (const ScriptSource& script : scripts) {
    if (*outcome != host::Outcome::kContinue) break;
    if (script.name == "-") {
      *outcome = runner.RunScript(std::cin, "-", host::StdinIsTerminal());
      continue;
    }
    std::istringstream in(script.text);
    *outcome = runner.RunScript(in, script.name, false);
  }

  // The demo ends with both files as the desktop app reads them.
  if (options.demo) session.output().Block(session.desktop().ShowFiles());
  session.output().Flush();
  return *outcome == host::Outcome::kError ? 1 : 0;
}

// --window: the window lives on this, the main thread, which draws it and
// carries out the settings work; the session plays on a game thread and, once
// its scripts are done, lets virtual time follow real time until the window is
// closed. `quit` or a script error closes the window.
int PlayInWindow(host::HostSession& session, host::CommandRunner& runner,
                 const host::HostOptions& options, const std::vector<ScriptSource>& scripts) {
#if TALLYLOOM_HOST_WINDOW
  std::string error;
  std::unique_ptr<host::WindowHost> window =
      host::WindowHost::Open(&session.settings(), "TallyLoom MMR - tallyloom-host", &error);
  if (!window) {
    session.output().Error(fmt::format("tallyloom-host: {}\n", error));
    return 1;
  }
  session.DrawOn(&window->work());
  int code = 0;
  std::thread game([&] {
    host::Outcome outcome = host::Outcome::kContinue;
    code = PlaySession(session, runner, options, scripts, &outcome);
    if (code == 0 && outcome == host::Outcome::kContinue) session.FollowRealTime();
    window->Finish();
  });
  window->Run([&] { session.RequestStop(); });
  game.join();
  session.DrawOn(nullptr);
  window.reset();
  session.output().Flush();
  return code;
#else
  (void)runner;
  (void)options;
  (void)scripts;
  session.output().Error("tallyloom-host: --window: this build has no window support\n");
  return 1;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  host::UseBinaryStdout();
  host::Output output(stdout, stderr);
  std::vector<std::string> arguments = host::Utf8Arguments(argc, argv);
  if (!arguments.empty()) arguments.erase(arguments.begin());  // the program's name

  host::HostOptions options;
  bool help = false;
  std::string error;
  const auto fail = [&](const std::string& message, int code) {
    output.Error("tallyloom-host: " + message + "\n");
    return code;
  };
  const auto usage_error = [&](const std::string& message) {
    output.Error("tallyloom-host: " + message + "\n" + host::HostUsage());
    return 2;
  };
  if (!host::ParseHostOptions(arguments, &options, &help, &error)) {
    if (!help) return usage_error(error);
    output.Block(host::HostUsage());
    return 0;
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
      return fail(error, 2);
    }
    scripts.push_back(std::move(script));
  }
  if (!script_options.empty()) {
    script_options.insert(script_options.end(), arguments.begin(), arguments.end());
    host::HostOptions with_scripts;
    if (!host::ParseHostOptions(script_options, &with_scripts, &help, &error)) {
      return usage_error("a script's host-options: " + error);
    }
    with_scripts.scripts = options.scripts;
    options = with_scripts;
  }

  std::int64_t wall_start = 0;
  if (options.clock) {
    if (!host::ParseLocalClock(*options.clock, &wall_start, &error)) return fail(error, 2);
  } else {
    wall_start = std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::system_clock::now().time_since_epoch())
                     .count();
  }

  if (options.demo && !options.profile) {
    const std::optional<std::string> scratch = host::MakeScratchFolder("tallyloom-demo-");
    if (!scratch) return fail("cannot make a scratch profile folder", 1);
    options.profile = *scratch;
    output.Block(fmt::format("Demo profile folder: {}\n", *scratch));
  }
  if (options.profile && !PrepareProfile(*options.profile, &error)) return fail(error, 1);

  host::HostSession session(options, wall_start, output);
  host::CommandRunner runner(session);
  if (options.window) return PlayInWindow(session, runner, options, scripts);
  host::Outcome outcome = host::Outcome::kContinue;
  return PlaySession(session, runner, options, scripts, &outcome);
}
