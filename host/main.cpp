// tallyloom-host: loads the TallyLoom MMR plugin the way the game's mod host
// does and plays scripted game sessions on virtual time.
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
#if TALLYLOOM_HOST_WINDOW
#include "host/WindowHost.h"
#endif

namespace {

bool ParseClock(const std::string& text, std::int64_t* unix_seconds) {
  std::tm local{};
  int year, month, day, hour, minute, second;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                  &second, &tail) != 6) {
    return false;
  }
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  const std::time_t t = std::mktime(&local);
  if (t == static_cast<std::time_t>(-1)) return false;
  *unix_seconds = static_cast<std::int64_t>(t);
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

using Outcome = host::HostSession::Outcome;

// Loads the plugin and plays the demo and the scripts; gives the exit code.
int PlaySession(host::HostSession& session, const host::HostOptions& options, Outcome* outcome) {
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
  for (const std::string& script : options.scripts) {
    if (*outcome != Outcome::kContinue) break;
    if (script == "-") {
      *outcome = session.RunScript(std::cin, "-", host::StdinIsTerminal());
      continue;
    }
    std::ifstream in(std::filesystem::u8path(script), std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "tallyloom-host: cannot open script %s\n", script.c_str());
      return 1;
    }
    *outcome = session.RunScript(in, script, false);
  }

  if (options.demo) {
    const std::filesystem::path folder = std::filesystem::u8path(*options.profile) / ".tallyloom";
    session.Flush();
    std::printf("Snapshot file: %s\n", (folder / "bakkesmod_mmr.json").string().c_str());
    std::printf("Match history file: %s\n",
                (folder / "bakkesmod_match_history.jsonl").string().c_str());
  }
  session.Flush();
  return *outcome == Outcome::kError ? 1 : 0;
}

// --window: the window lives on this, the main thread, which draws it and
// carries out the settings work; the session plays on a game thread and, once
// its scripts are done, lets virtual time follow real time until the window is
// closed. `quit` or a script error closes the window.
int PlayInWindow(host::HostSession& session, const host::HostOptions& options) {
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
    code = PlaySession(session, options, &outcome);
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
  if (!host::ParseHostOptions(argc, argv, &options, &help, &error)) {
    if (help) {
      std::fputs(host::HostUsage(), stdout);
      return 0;
    }
    std::fprintf(stderr, "tallyloom-host: %s\n%s", error.c_str(), host::HostUsage());
    return 2;
  }

  std::int64_t wall_start = 0;
  if (options.clock) {
    if (!ParseClock(*options.clock, &wall_start)) {
      std::fprintf(stderr, "tallyloom-host: --clock: expected YYYY-MM-DDTHH:MM:SS, got \"%s\"\n",
                   options.clock->c_str());
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
  if (options.window) return PlayInWindow(session, options);
  Outcome outcome = Outcome::kContinue;
  return PlaySession(session, options, &outcome);
}
