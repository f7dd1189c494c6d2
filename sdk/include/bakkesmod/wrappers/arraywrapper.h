#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// A game array of objects; Get of an index out of range gives a null wrapper.
template <class T>
class ArrayWrapper {
 public:
  explicit ArrayWrapper(std::vector<std::uintptr_t> items = {}) : items_(std::move(items)) {}

  int Count() const { return static_cast<int>(items_.size()); }
  T Get(int index) const {
    if (index < 0 || index >= Count()) return T(0);
    return T(items_[static_cast<std::size_t>(index)]);
  }

 private:
  std::vector<std::uintptr_t> items_;
};
