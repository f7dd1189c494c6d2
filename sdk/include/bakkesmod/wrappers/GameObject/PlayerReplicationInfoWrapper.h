#pragma once

#include "bakkesmod/wrappers/Engine/ActorWrapper.h"
#include "bakkesmod/wrappers/Engine/UnrealStringWrapper.h"

class PLUGINSDK_API PlayerReplicationInfoWrapper : public ActorWrapper {
 public:
  using ActorWrapper::ActorWrapper;
  UnrealStringWrapper GetPlayerName();
  unsigned char GetTeamNum();
};
