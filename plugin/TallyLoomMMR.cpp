// How every part of the plugin reaches the host: the two switches, log
// lines, timers, and the guard that every callback goes through.
#include "plugin/TallyLoomMMR.h"

#include <fmt/format.h>

#include "plugin/SharedFlag.h"

bool TallyLoomMMR::IsEnabled() const { return ReadSharedFlag(enabled_); }

bool TallyLoomMMR::IsAutoExportOn() const { return ReadSharedFlag(autoExportEnabled_); }

void TallyLoomMMR::Log(const std::string& message) {
  tab_.Update([&](TabRows& rows) { rows.statusMessage = message; });
  if (consoleReady_.load(std::memory_order_acquire)) {
    cvarManager->log(fmt::format("TallyLoom MMR: {}", message));
  }
}

void TallyLoomMMR::LogError(const std::string& message, ErrorKind kind) {
  tab_.Update([&](TabRows& rows) { rows.Fail(message, kind); });
  if (consoleReady_.load(std::memory_order_acquire)) {
    cvarManager->log(fmt::format("TallyLoom MMR error: {}", message));
  }
}

void TallyLoomMMR::ReportUnexpected(const char* what) noexcept {
  try {
    LogError(what ? fmt::format("Unexpected failure: {}", what) : "Unexpected failure.");
  } catch (...) {
    // Not even the report could be made; the host must still not see it.
  }
}

void TallyLoomMMR::SetGuardedTimeout(std::function<void()> callback, TimerDelay delay) {
  gameWrapper->SetTimeout(Guarded([callback = std::move(callback)](GameWrapper*) { callback(); }),
                          delay.count());
}
