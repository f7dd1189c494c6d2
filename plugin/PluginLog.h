#pragma once

#include <memory>

#include "bakkesmod/wrappers/cvarmanagerwrapper.h"

// The console the plugin's log lines go to, copied from the plugin at load
// and kept until the library itself is unloaded.
extern std::shared_ptr<CVarManagerWrapper> globalCvarManager;
