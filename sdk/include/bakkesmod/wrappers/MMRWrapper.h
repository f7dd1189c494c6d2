#pragma once

#include "bakkesmod/sdk_api.h"
#include "bakkesmod/wrappers/UniqueIDWrapper.h"

// The host's matchmaking-rating service.
class PLUGINSDK_API MMRWrapper {
 public:
  explicit MMRWrapper(sdkhost::HostModel* model = nullptr) : model_(model) {}

  bool IsSyncing(UniqueIDWrapper playerID);
  bool IsSynced(UniqueIDWrapper playerID, int playlistID);
  float GetPlayerMMR(UniqueIDWrapper playerID, int playlistID);

 private:
  sdkhost::HostModel* model_;
};
