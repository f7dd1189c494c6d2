// Runs script commands on a session: reads a script line by line and runs
// each command (its Run, in host/script/*Commands.h), handing it the parts of
// the session it acts on, telling its story with --narrate, printing its
// output, and reporting what failed.
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
  explicit CommandRunner(HostSession& session) : session_(session) {}
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
  // With --narrate: the story of what a command does (HostSession::Tell).
  void Tell(std::string_view story) { session_.Tell(story); }
  // A line stamped with the current virtual time, printed with or without
  // --narrate: for a command whose output is a line of its own.
  void PrintLine(std::string_view text) { session_.PrintLine(text); }
  // A block of text as it is (help, the settings tab).
  void Print(std::string_view block) { session_.output().Block(block); }
  // The command failed for `message`.
  Outcome Fail(std::string message);

 private:
  HostSession& session_;
  std::string error_;  // why the running command failed
};

}  // namespace host
