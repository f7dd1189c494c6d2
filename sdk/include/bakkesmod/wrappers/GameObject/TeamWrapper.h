#pragma once

#include "bakkesmod/wrappers/GameObject/TeamInfoWrapper.h"

class PLUGINSDK_API TeamWrapper : public TeamInfoWrapper {
 public:
  using TeamInfoWrapper::TeamInfoWrapper;
};
