#pragma once

#include <cstdint>

#include "bakkesmod/sdk_api.h"

// What a drawable may draw on; TallyLoom draws nothing.
class PLUGINSDK_API CanvasWrapper {
 public:
  explicit CanvasWrapper(std::uintptr_t mem = 0) : memory_address(mem) {}
  std::uintptr_t memory_address;
};
