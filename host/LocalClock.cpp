#include "host/LocalClock.h"

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include <fmt/format.h>

namespace host {
namespace {

std::string ZoneName() {
  const char* tz = std::getenv("TZ");
  return tz != nullptr && *tz != '\0' ? fmt::format("TZ={}", tz) : "the machine's local zone";
}

// The instant that `wanted` names with the given daylight-saving flag, if that
// instant reads back as exactly `wanted`.
bool InstantOf(const std::tm& wanted, int isdst, std::time_t* instant) {
  std::tm attempt = wanted;
  attempt.tm_isdst = isdst;
  const std::time_t t = std::mktime(&attempt);
  if (t == static_cast<std::time_t>(-1)) return false;
  std::tm back{};
#ifdef _WIN32
  if (localtime_s(&back, &t) != 0) return false;
#else
  if (localtime_r(&t, &back) == nullptr) return false;
#endif
  if (back.tm_year != wanted.tm_year || back.tm_mon != wanted.tm_mon ||
      back.tm_mday != wanted.tm_mday || back.tm_hour != wanted.tm_hour ||
      back.tm_min != wanted.tm_min || back.tm_sec != wanted.tm_sec) {
    return false;
  }
  *instant = t;
  return true;
}

}  // namespace

bool ParseLocalClock(const std::string& text, std::int64_t* unix_seconds, std::string* error) {
  // Exactly the form, digit for digit: no signs, spaces or zones.
  constexpr std::string_view kForm = "dddd-dd-ddTdd:dd:dd";
  bool shaped = text.size() == kForm.size();
  for (std::size_t i = 0; shaped && i < kForm.size(); ++i) {
    shaped = kForm[i] == 'd' ? text[i] >= '0' && text[i] <= '9' : text[i] == kForm[i];
  }
  if (!shaped) {
    *error = fmt::format("--clock: expected YYYY-MM-DDTHH:MM:SS, got \"{}\"", text);
    return false;
  }
  const auto number = [&](std::size_t at, std::size_t digits) {
    int value = 0;
    std::from_chars(text.data() + at, text.data() + at + digits, value);
    return value;
  };
  const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  const std::chrono::year_month_day date{std::chrono::year(year),
                                         std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  const char* wrong = nullptr;
  if (year < 1970) {
    wrong = "the year is before 1970";
  } else if (!date.month().ok()) {
    wrong = "there is no such month";
  } else if (!date.ok()) {
    wrong = "the month has no such day";
  } else if (hour > 23) {
    wrong = "the hour is past 23";
  } else if (minute > 59) {
    wrong = "the minute is past 59";
  } else if (second > 59) {
    wrong = "the second is past 59";
  }
  if (wrong != nullptr) {
    *error = fmt::format("--clock: \"{}\" is no date and time: {}", text, wrong);
    return false;
  }

  std::tm wanted{};
  wanted.tm_year = year - 1900;
  wanted.tm_mon = month - 1;
  wanted.tm_mday = day;
  wanted.tm_hour = hour;
  wanted.tm_min = minute;
  wanted.tm_sec = second;
  std::time_t standard = 0, daylight = 0;
  const bool as_standard = InstantOf(wanted, 0, &standard);
  const bool as_daylight = InstantOf(wanted, 1, &daylight);
  if (!as_standard && !as_daylight) {
    *error = fmt::format(
        "--clock: {} does not exist in {}: the clocks skip it (a daylight-saving change)", text,
        ZoneName());
    return false;
  }
  if (as_standard && as_daylight && standard != daylight) {
    *error = fmt::format(
        "--clock: {} happens twice in {}: the clocks go back over it (a daylight-saving change)",
        text, ZoneName());
    return false;
  }
  *unix_seconds = static_cast<std::int64_t>(as_standard ? standard : daylight);
  return true;
}

}  // namespace host
