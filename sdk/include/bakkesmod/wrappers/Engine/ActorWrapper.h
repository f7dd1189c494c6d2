#pragma once

#include <cstdint>

#include "bakkesmod/sdk_api.h"

// Every game object wrapper is a handle to an object of the game; a null
// handle means the game has no such object at the moment.
class PLUGINSDK_API ActorWrapper {
 public:
  explicit ActorWrapper(std::uintptr_t mem = 0) : memory_address(mem) {}

  bool IsNull() const { return memory_address == 0; }
  explicit operator bool() const { return !IsNull(); }

  std::uintptr_t memory_address;
};
