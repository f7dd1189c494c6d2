#pragma once

#include <cstdint>

#include "bakkesmod/wrappers/Engine/ActorWrapper.h"

class PLUGINSDK_API GameSettingPlaylistWrapper : public ActorWrapper {
 public:
  using ActorWrapper::ActorWrapper;
  int GetPlaylistId();
  // Nonzero when the playlist is ranked.
  std::uint32_t GetbRanked();
};
