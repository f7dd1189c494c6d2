#pragma once

#include <memory>
#include <string>

#include "bakkesmod/wrappers/cvarmanagerwrapper.h"

// The console the plugin's log lines go to, copied from the plugin at load
// and kept until the library itself is unloaded.
extern std::shared_ptr<CVarManagerWrapper> globalCvarManager;

// A log line already recorded in the plugin's state but not yet written to the
// console: code that must not call the host while it holds the entry lock (the
// settings tab) records under the lock and writes once it has released it.
struct PendingConsoleLine {
  std::shared_ptr<CVarManagerWrapper> console;
  std::string text;

  void Write() const {
    if (console) console->log(text);
  }
};
