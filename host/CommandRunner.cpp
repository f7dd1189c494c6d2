#include "host/CommandRunner.h"

#include "script/ScriptReader.h"

namespace host {

Outcome CommandRunner::Fail(std::string message) {
  error_ = std::move(message);
  return Outcome::kError;
}

Outcome CommandRunner::Execute(const hostscript::Command& command, std::string* error) {
  error_.clear();
  const Outcome outcome = std::visit([this](const auto& each) { return each.Run(*this); }, command);
  if (outcome == Outcome::kError) *error = error_;
  return outcome;
}

Outcome CommandRunner::RunScript(std::istream& in, const std::string& name, bool interactive) {
  Output& output = session_.output();
  hostscript::ScriptReader reader(in, name);
  for (;;) {
    // Work handed to the game thread (a settings button) runs before the next
    // command, as the game runs it before its next tick.
    model().time().RunPosted();
    if (session_.StopRequested()) return Outcome::kQuit;
    if (interactive) {
      output.Flush();
      output.Error("tallyloom> ");
    }
    hostscript::Command command;
    int line = 0;
    hostscript::ScriptError script_error;
    const auto result = reader.Next(&command, &line, &script_error);
    if (result == hostscript::ScriptReader::Result::kEnd) return Outcome::kContinue;
    if (result == hostscript::ScriptReader::Result::kCommand) {
      std::string error;
      const Outcome outcome = Execute(command, &error);
      if (outcome == Outcome::kQuit) return Outcome::kQuit;
      if (outcome == Outcome::kContinue) continue;
      script_error = hostscript::ScriptError{name, line, error};
    }
    output.Error(hostscript::FormatError(script_error) + "\n");
    if (!interactive) return Outcome::kError;
  }
}

}  // namespace host
