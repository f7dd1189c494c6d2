#pragma once

#include "bakkesmod/wrappers/Engine/ActorWrapper.h"

class PLUGINSDK_API TeamInfoWrapper : public ActorWrapper {
 public:
  using ActorWrapper::ActorWrapper;
  unsigned char GetTeamNum();
  int GetScore();
};
