// The host behind the SDK stand-in, in four parts: virtual time, the console,
// what plugins have registered with the game, and the game itself. A host
// program drives it; plugins see it only through the SDK's wrappers.
//
// Thread safety: every part may be used from any thread. Callbacks of a
// plugin are never run while a part's own lock is held, so a callback may call
// back into the host. The one exception is the console lock (Console.h), held
// around command callbacks and changes of value as a real host may hold it: a
// plugin must not hold a lock of its own while it runs a command or sets a
// variable if its command callbacks take that lock too.
#pragma once

#include <functional>
#include <memory>

#include "bakkesmod/sdk_api.h"
#include "platform/testing/VirtualClockEnv.h"
#include "sdk/model/Console.h"
#include "sdk/model/Game.h"
#include "sdk/model/Registrations.h"
#include "sdk/model/Timeline.h"

class CVarManagerWrapper;
class GameWrapper;

namespace sdkhost {

class PLUGINSDK_API HostModel {
 public:
  explicit HostModel(platform::VirtualClock* clock);
  ~HostModel();
  HostModel(const HostModel&) = delete;
  HostModel& operator=(const HostModel&) = delete;

  Timeline& time() { return time_; }
  Console& console() { return console_; }
  Registrations& registrations() { return registrations_; }
  Game& game() { return game_; }

  // The SDK handles given to one loaded plugin; registrations are its own.
  std::shared_ptr<CVarManagerWrapper> NewCVarManager(int owner);
  std::shared_ptr<GameWrapper> NewGameWrapper(int owner);
  // What a host does when it unloads a plugin: its variables, commands, hooks
  // and drawables go (saved variables get their values back when registered
  // again); timers it set stay and fire.
  void ForgetOwner(int owner);

 private:
  Registrations registrations_;
  Timeline time_;
  Console console_;
  Game game_;
};

}  // namespace sdkhost
