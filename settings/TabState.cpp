#include "settings/TabState.h"

void TabRows::Fail(const std::string& message, ErrorKind kind) {
  (kind == ErrorKind::kHistory ? standingHistoryError_ : standingGeneralError_) = message;
  lastError = message;
}

void TabRows::Succeed(ErrorKind kind) {
  // What still stands is the other kind's failure, if any.
  if (kind == ErrorKind::kHistory) {
    standingHistoryError_.clear();
    lastError = standingGeneralError_;
  } else {
    standingGeneralError_.clear();
    lastError = standingHistoryError_;
  }
}
