// The real game may be called only from its own thread: the host's SDK warns
// that a game call from the render thread is very likely to crash the game.
// The simulated host enforces that rule in sessions that draw on another
// thread, so a plugin that breaks it fails here instead of in a player's game.
#pragma once

#include "bakkesmod/sdk_api.h"

namespace sdkhost {

// The exit status of a session ended by a game call off the game thread.
inline constexpr int kOffGameThreadExitCode = 3;

// From now on every game call must come from the calling thread.
PLUGINSDK_API void EnforceGameThread();
PLUGINSDK_API void StopEnforcingGameThread();

// At the top of every game call of the SDK; `call` names it ("GameWrapper::GetUniqueID").
// Off the game thread, while enforced: prints why on standard error and ends
// the process at once with kOffGameThreadExitCode.
PLUGINSDK_API void RequireGameThread(const char* call);

}  // namespace sdkhost
