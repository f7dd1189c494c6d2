// The host console: its log, the console variables (with the values the host
// saves in its configuration) and the commands plugins register.
//
// Thread safety: every member may be called from any thread. As a real host's
// console may, it has a console lock: held while a command's callback runs and
// while a variable's new value reaches its bindings, and taken by
// TypeIntoConsole, ExecuteCommand, SetCvarValue and Log (so inside
// CVarManagerWrapper::executeCommand, CVarWrapper::setValue and
// CVarManagerWrapper::log: what the SDK does not promise, a plugin must
// survive). It is recursive, so a callback may log, run further commands and
// set variables. A plugin that holds a lock of its own while calling those,
// and takes the same lock in a command's callback on another thread, can
// freeze the host: ThreadSanitizer reports that lock-order inversion. The
// other members take only a short lock of their own, never held around a
// callback.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bakkesmod/sdk_api.h"

namespace sdkhost {

struct CvarInfo {
  std::string name;
  std::string default_value;
  std::string description;
  bool searchable = false;
  bool has_min = false;
  float min = 0;
  bool has_max = false;
  float max = 0;
  bool save_to_config = false;
  std::string value_text;
  float value = 0;
};

class PLUGINSDK_API Console {
 public:
  using LogSink = std::function<void(const std::string& line)>;

  Console();
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  void SetLogSink(LogSink sink);
  void Log(const std::string& text);

  enum class Result { kDone, kUnknownName, kBadValue };
  // Words typed into the console: a variable alone prints its value, a variable
  // and a number sets it, a command runs with the words as its arguments.
  Result TypeIntoConsole(const std::vector<std::string>& words);
  // A command line as CVarManagerWrapper::executeCommand passes it.
  void ExecuteCommand(const std::string& command);

  // A variable that exists already keeps its value; a new one starts at its
  // default, or at the value saved when its owner was unloaded.
  void RegisterCvar(int owner, const CvarInfo& info);
  bool CvarExists(const std::string& name) const;
  std::optional<CvarInfo> FindCvar(const std::string& name) const;
  // From now on `flag` follows the variable (nonzero is true).
  void BindCvar(const std::string& name, std::shared_ptr<bool> flag);
  // Sets a variable from a number's text, clamped into its range; false when
  // the text is no number or there is no such variable.
  bool SetCvarValue(const std::string& name, const std::string& text);
  std::optional<std::string> CvarValue(const std::string& name) const;

  void RegisterNotifier(int owner, const std::string& name,
                        std::function<void(std::vector<std::string>)> callback);
  bool HasCommand(const std::string& name) const;

  // What the host does when it unloads a plugin: its variables and commands
  // go; the values of its saved variables are kept for when they come back.
  void Forget(int owner);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sdkhost
