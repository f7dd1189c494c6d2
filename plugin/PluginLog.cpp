#include <fmt/format.h>

#include "plugin/PluginLog.h"
#include "plugin/TallyLoomMMR.h"

std::shared_ptr<CVarManagerWrapper> globalCvarManager;

void TallyLoomMMR::Log(const std::string& message) { RecordStatus(message).Write(); }

void TallyLoomMMR::LogError(const std::string& message, ErrorKind kind) {
  RecordError(message, kind).Write();
}

PendingConsoleLine TallyLoomMMR::RecordStatus(const std::string& message) {
  statusMessage = message;
  return {globalCvarManager, fmt::format("TallyLoom MMR: {}", message)};
}

PendingConsoleLine TallyLoomMMR::RecordError(const std::string& message, ErrorKind kind) {
  (kind == ErrorKind::kHistory ? standingHistoryError_ : standingGeneralError_) = message;
  lastError = message;
  return {globalCvarManager, fmt::format("TallyLoom MMR error: {}", message)};
}

PendingConsoleLine TallyLoomMMR::RecordUnexpectedFailure(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    return RecordError(std::string("Unexpected failure: ") + error.what());
  } catch (...) {
    return RecordError("Unexpected failure.");
  }
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
