#include <fmt/format.h>

#include "plugin/PluginLog.h"
#include "plugin/TallyLoomMMR.h"

std::shared_ptr<CVarManagerWrapper> globalCvarManager;

void TallyLoomMMR::Log(const std::string& message) {
  statusMessage = message;
  if (globalCvarManager) globalCvarManager->log(fmt::format("TallyLoom MMR: {}", message));
}

void TallyLoomMMR::LogError(const std::string& message, ErrorKind kind) {
  (kind == ErrorKind::kHistory ? standingHistoryError_ : standingGeneralError_) = message;
  lastError = message;
  if (globalCvarManager) globalCvarManager->log(fmt::format("TallyLoom MMR error: {}", message));
}

void TallyLoomMMR::ClearStandingError(ErrorKind kind) {
  // What still stands is the other kind's failure, if any.
  if (kind == ErrorKind::kHistory) {
    standingHistoryError_.clear();
    lastError = standingGeneralError_;
  } else {
    standingGeneralError_.clear();
    lastError = standingHistoryError_;
  }
}
