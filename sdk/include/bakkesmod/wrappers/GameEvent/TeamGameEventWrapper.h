#pragma once

#include "bakkesmod/wrappers/GameEvent/GameEventWrapper.h"
#include "bakkesmod/wrappers/GameObject/TeamWrapper.h"
#include "bakkesmod/wrappers/arraywrapper.h"

class PLUGINSDK_API TeamGameEventWrapper : public GameEventWrapper {
 public:
  using GameEventWrapper::GameEventWrapper;
  ArrayWrapper<TeamWrapper> GetTeams();
};
