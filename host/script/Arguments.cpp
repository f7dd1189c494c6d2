#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "script/CommandParts.h"
#include "script/ScriptWords.h"

namespace hostscript {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::size_t kFractionDigits = 9;  // nanoseconds are the ninth decimal of a second
constexpr std::size_t kShownWordBytes = 48;

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The whole text as one number of type T: std::errc() when it is one.
template <typename T>
std::errc FromChars(std::string_view text, T* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  // A word with more than a number in it is no number, however large.
  if (end != text.data() + text.size()) return std::errc::invalid_argument;
  return error;
}

// A double-to-float conversion of a finite value beyond float range is
// undefined behaviour in C++, so do by hand what IEEE rounding would: anything
// at or past the midpoint between FLT_MAX and 2^128 rounds (ties to even) to
// infinity, anything below it to FLT_MAX or less.
float NarrowToFloat(double value) {
  constexpr double kFloatOverflow = 0x1.ffffffp127;
  if (std::isfinite(value) && std::fabs(value) >= kFloatOverflow) {
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    return value > 0 ? kInfinity : -kInfinity;
  }
  return static_cast<float>(value);
}

}  // namespace

bool Arguments::Fail(const std::string& message) {
  *error_ = words_[0] + ": " + message;
  return false;
}

bool Arguments::Usage() {
  return Fail("wrong number of arguments (usage: " + std::string(usage_) + ")");
}

std::string Arguments::Shown(std::string_view word) {
  if (word.size() <= kShownWordBytes) return QuoteWord(word);
  return QuoteWord(word.substr(0, kShownWordBytes)) + "...";
}

Arguments::Number Arguments::Status(std::errc error) {
  if (error == std::errc()) return Number::kOk;
  return error == std::errc::result_out_of_range ? Number::kOutOfRange : Number::kMalformed;
}

bool Arguments::Checked(Number status, std::size_t index, std::string_view what,
                        std::string_view range) {
  switch (status) {
    case Number::kOk:
      return true;
    case Number::kMalformed:
      return Fail("bad " + std::string(what) + " " + Shown(words_[index]));
    case Number::kOutOfRange:
      break;
  }
  return Fail(std::string(what) + " out of range " + Shown(words_[index]) + " (" +
              std::string(range) + ")");
}

bool Arguments::Int32(std::size_t index, std::string_view what, std::int32_t* value) {
  return Checked(Status(FromChars(words_[index], value)), index, what, "-2147483648..2147483647");
}

bool Arguments::Uint64(std::size_t index, std::string_view what, std::uint64_t* value) {
  return Checked(Status(FromChars(words_[index], value)), index, what, "0..18446744073709551615");
}

bool Arguments::TeamNumber(std::size_t index, std::string_view what, std::uint8_t* value) {
  std::uint64_t wide = 0;
  Number status = Status(FromChars(words_[index], &wide));
  if (status == Number::kOk && wide > 255) status = Number::kOutOfRange;
  if (!Checked(status, index, what, "0..255")) return false;
  *value = static_cast<std::uint8_t>(wide);
  return true;
}

bool Arguments::Duration(std::size_t index, std::int64_t* nanoseconds) {
  const std::string_view text = words_[index];
  const std::size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction =
      dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  // Digits on both sides of one dot, and at least one digit on the right of
  // it: not `5.`, `.`, a second dot, a sign or an exponent.
  const bool shaped = dot == std::string_view::npos
                          ? !whole.empty() && AllDigits(whole)
                          : !fraction.empty() && AllDigits(fraction) && AllDigits(whole);
  if (!shaped) return Checked(Number::kMalformed, index, "duration", "");

  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  const auto out_of_range = [&] {
    return Checked(Number::kOutOfRange, index, "duration", "0..9223372036.854775807");
  };
  std::uint64_t seconds = 0;
  if (!whole.empty() && (FromChars(whole, &seconds) != std::errc() ||
                         seconds > static_cast<std::uint64_t>(kMax / kNanosecondsPerSecond))) {
    return out_of_range();
  }
  // The first nine digits of the fraction are the nanoseconds.
  std::string nanos(fraction.substr(0, kFractionDigits));
  nanos.resize(kFractionDigits, '0');
  std::int64_t subsecond = 0;
  FromChars(nanos, &subsecond);
  // Half up: only the first digit past the nanosecond decides.
  if (fraction.size() > kFractionDigits && fraction[kFractionDigits] >= '5') ++subsecond;

  const std::int64_t whole_nanoseconds = static_cast<std::int64_t>(seconds) * kNanosecondsPerSecond;
  if (subsecond > kMax - whole_nanoseconds) return out_of_range();
  *nanoseconds = whole_nanoseconds + subsecond;
  return true;
}

bool Arguments::MmrValue(std::size_t index, float* value) {
  double parsed = 0;
  if (FromChars(words_[index], &parsed) != std::errc()) {
    return Fail("bad value " + Shown(words_[index]));
  }
  *value = NarrowToFloat(parsed);
  return true;
}

}  // namespace hostscript
