#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "capture/TallyLoomPendingMatchCapture.h"

// One match-history line (without its line end): nineteen members in a fixed
// order, no spaces outside strings.
std::string ComposeHistoryLine(const TallyLoomPendingMatchCapture& capture,
                               TallyLoomDeltaState state,
                               const std::optional<std::int32_t>& mmrAfter, bool complete);
