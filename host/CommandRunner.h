// Runs script commands on a session: reads a script line by line and runs
// each command (its Run, in host/script/*Commands.h), handing it the parts of
// the session it acts on, telling its story with --narrate, and reporting
// what failed.
#pragma once

#include <istream>
#include <string>
#include <string_view>

#include "host/HostSession.h"
#include "script/Command.h"

namespace host {

using hostscript::Outcome;

class CommandRunner {
 public:
  CommandRunner(HostSession& session, bool narrate) : session_(session), narrate_(narrate) {}
  CommandRunner(const CommandRunner&) = delete;
  CommandRunner& operator=(const CommandRunner&) = delete;

  // Runs a whole script. Script errors are printed on standard error as
  // FILE:LINE: MESSAGE; they end the script, except at a terminal.
  Outcome RunScript(std::istream& in, const std::string& name, bool interactive);
  // Runs one command; on kError, `error` says why.
  Outcome Execute(const hostscript::Command& command, std::string* error);

  // --- For the commands' Run ------------------------------------------------
  HostSession& session() { return session_; }
  sdkhost::HostModel& model() { return session_.model(); }
  platform::FaultInjectionEnv& faults() { return session_.faults(); }
  DesktopApp& desktop() { return session_.desktop(); }
  // With --narrate: what a command does to the game, the console or the
  // files, as a console line of its own at the current virtual time.
  void Tell(std::string_view story);
  // A block of text as it is (help, the settings tab).
  void Print(std::string_view block) { session_.output().Block(block); }
  // The command failed for `message`.
  Outcome Fail(std::string message);

 private:
  HostSession& session_;
  bool narrate_;
  std::string error_;  // why the running command failed
};

}  // namespace host
