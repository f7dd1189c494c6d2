// The JSON text routines both file writers share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Makes text safe for the inside of a JSON string: tab, line feed, carriage
// return, double quote and backslash are escaped, other control bytes are
// dropped, and valid UTF-8 passes byte for byte. Each maximal ill-formed UTF-8
// subsequence becomes one U+FFFD, so that a name with broken bytes cannot make
// the whole file invalid JSON.
std::string JsonEscape(std::string_view text);
// The same, appended to `out`.
void AppendJsonEscaped(std::string& out, std::string_view text);

// The decimal value, or null when absent.
std::string OptionalIntToJson(const std::optional<std::int32_t>& value);
