#pragma once

#include "bakkesmod/wrappers/Engine/ActorWrapper.h"
#include "bakkesmod/wrappers/GameEvent/GameSettingPlaylistWrapper.h"
#include "bakkesmod/wrappers/PlayerControllerWrapper.h"

class PLUGINSDK_API GameEventWrapper : public ActorWrapper {
 public:
  using ActorWrapper::ActorWrapper;
  PlayerControllerWrapper GetLocalPrimaryPlayer();
  GameSettingPlaylistWrapper GetPlaylist();
};
