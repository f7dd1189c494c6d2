// Splits a fuzzer's bytes into the values a target needs, the same way under
// libFuzzer and under the plain replay driver (which has no
// FuzzedDataProvider). Reading past the end gives zeros and empty strings, so
// every input, however short, is a complete case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace fuzzing {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  bool Bool() { return (Byte() & 1) != 0; }
  std::int32_t Int32() {
    std::uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8) value |= std::uint32_t{Byte()} << shift;
    return static_cast<std::int32_t>(value);
  }
  // 0 to `count` - 1.
  int Below(int count) { return static_cast<int>(Byte() % count); }
  // A length byte (255: two more bytes of length follow), then the bytes.
  std::string String() {
    std::size_t length = Byte();
    if (length == 255) length = Byte() | (std::size_t{Byte()} << 8);
    std::string text;
    while (text.size() < length && at_ < size_) text.push_back(static_cast<char>(data_[at_++]));
    return text;
  }
  // A whole MMR, at least 1 (what the rating lookup produces), or none.
  std::optional<std::int32_t> Mmr() {
    if (!Bool()) return std::nullopt;
    const std::int32_t value = Int32() & 0x7FFFFFFF;
    return value == 0 ? 1 : value;
  }
  // "YYYY-MM-DDTHH:MM:SS", as the local clock gives it.
  std::string Timestamp() {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d",
                  static_cast<int>((Byte() | (Byte() << 8)) % 10000), 1 + Below(12), 1 + Below(31),
                  Below(24), Below(60), Below(61));
    return text;
  }
  std::string Rest() {
    std::string text(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
    at_ = size_;
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace fuzzing
