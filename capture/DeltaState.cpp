#include "capture/TallyLoomPendingMatchCapture.h"

const char* DeltaStateText(TallyLoomDeltaState state) {
  switch (state) {
    case TallyLoomDeltaState::Pending:
      return "pending";
    case TallyLoomDeltaState::Exact:
      return "exact";
    case TallyLoomDeltaState::Unknown:
      break;
  }
  // Unknown, and any value outside the three (read from a damaged record).
  return "unknown";
}
