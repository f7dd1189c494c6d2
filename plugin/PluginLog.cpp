#include <fmt/format.h>

#include "plugin/PluginLog.h"
#include "plugin/TallyLoomMMR.h"

std::shared_ptr<CVarManagerWrapper> globalCvarManager;

void TallyLoomMMR::Log(const std::string& message) {
  statusMessage = message;
  if (globalCvarManager) globalCvarManager->log(fmt::format("TallyLoom MMR: {}", message));
}

void TallyLoomMMR::LogError(const std::string& message) {
  lastError = message;
  if (globalCvarManager) globalCvarManager->log(fmt::format("TallyLoom MMR error: {}", message));
}
