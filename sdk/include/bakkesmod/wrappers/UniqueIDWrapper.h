#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "bakkesmod/sdk_api.h"

// The local player's unique id: a text form and, for some platforms, a number.
class PLUGINSDK_API UniqueIDWrapper {
 public:
  UniqueIDWrapper() = default;
  UniqueIDWrapper(std::string text, std::uint64_t uid) : text_(std::move(text)), uid_(uid) {}

  std::string str() const { return text_; }
  std::uint64_t GetUID() const { return uid_; }

 private:
  std::string text_;
  std::uint64_t uid_ = 0;
};
