#pragma once

#include "bakkesmod/wrappers/GameEvent/TeamGameEventWrapper.h"
#include "bakkesmod/wrappers/GameObject/TeamWrapper.h"

class PLUGINSDK_API ServerWrapper : public TeamGameEventWrapper {
 public:
  using TeamGameEventWrapper::TeamGameEventWrapper;
  // Null until the game has a winner.
  TeamWrapper GetGameWinner();
};
