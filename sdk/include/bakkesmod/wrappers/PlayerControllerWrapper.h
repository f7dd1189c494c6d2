#pragma once

#include "bakkesmod/wrappers/Engine/ActorWrapper.h"
#include "bakkesmod/wrappers/GameObject/PriWrapper.h"

class PLUGINSDK_API PlayerControllerWrapper : public ActorWrapper {
 public:
  using ActorWrapper::ActorWrapper;
  PriWrapper GetPRI();
};
