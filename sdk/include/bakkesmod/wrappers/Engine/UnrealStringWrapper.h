#pragma once

#include <string>
#include <utility>

#include "bakkesmod/sdk_api.h"

class PLUGINSDK_API UnrealStringWrapper {
 public:
  explicit UnrealStringWrapper(std::string text = {}) : text_(std::move(text)) {}
  std::string ToString() const { return text_; }

 private:
  std::string text_;
};
