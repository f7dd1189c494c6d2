#include "capture/TallyLoomPendingMatchCapture.h"

const char* DeltaStateText(TallyLoomDeltaState state) {
  switch (static_cast<int>(state)) {
    case 0:
      return "pending";
    case 1:
      return "exact";
    default:
      return "unknown";
  }
}
