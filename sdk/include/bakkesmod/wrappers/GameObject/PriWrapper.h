#pragma once

#include "bakkesmod/wrappers/GameObject/PlayerReplicationInfoWrapper.h"

class PLUGINSDK_API PriWrapper : public PlayerReplicationInfoWrapper {
 public:
  using PlayerReplicationInfoWrapper::PlayerReplicationInfoWrapper;
};
