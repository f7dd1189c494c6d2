// --clock: a local wall-clock time, read strictly. A time that is no date, or
// that the process's time zone skips or passes twice (a daylight-saving change),
// is refused with the reason rather than moved silently.
#pragma once

#include <cstdint>
#include <string>

namespace host {

// "YYYY-MM-DDTHH:MM:SS" in the process's time zone (TZ) to Unix seconds; false
// with `error` (a sentence naming the text) when it cannot stand for one instant.
bool ParseLocalClock(const std::string& text, std::int64_t* unix_seconds, std::string* error);

}  // namespace host
