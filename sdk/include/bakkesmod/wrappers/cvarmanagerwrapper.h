#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bakkesmod/sdk_api.h"
#include "bakkesmod/wrappers/cvarwrapper.h"

// The host console: variables, commands and the log.
class PLUGINSDK_API CVarManagerWrapper {
 public:
  CVarManagerWrapper(sdkhost::HostModel* model, int owner);

  CVarWrapper registerCvar(std::string cvar, std::string defaultValue, std::string desc = "",
                           bool searchAble = true, bool hasMin = false, float min = 0,
                           bool hasMax = false, float max = 0, bool saveToCfg = true);
  void registerNotifier(std::string cvar, std::function<void(std::vector<std::string>)> notifier,
                        std::string description, unsigned char permissions);
  // A null wrapper when no such variable exists.
  CVarWrapper getCvar(std::string cvar);
  void executeCommand(std::string command, bool log = true);
  void log(std::string text);

 private:
  sdkhost::HostModel* model_;
  int owner_;
};
