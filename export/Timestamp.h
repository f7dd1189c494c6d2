#pragma once

#include <string>

// Local wall-clock time of the machine, "YYYY-MM-DDTHH:MM:SS": whole seconds,
// no fraction and no zone.
std::string CurrentTimestamp();
