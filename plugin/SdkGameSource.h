// The game as the exporter and the capture rules see it, read through the
// host SDK. Game thread only, like every game call.
#pragma once

#include "bakkesmod/wrappers/GameWrapper.h"
#include "export/GameSource.h"

class SdkGameSource : public GameSource {
 public:
  explicit SdkGameSource(GameWrapper& game) : game_(game) {}

  std::optional<TallyLoomAccount> ResolveAccount() override;
  RatingReading ReadRating(std::int32_t playlistId) override;

 private:
  GameWrapper& game_;
};
