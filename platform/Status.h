// A small success-or-message result for the platform seam: callers need the
// file-system layer's own description text for some of their messages.
#pragma once

#include <string>
#include <utility>

namespace platform {

class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }

 private:
  explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}

  bool failed_ = false;
  std::string message_;
};

}  // namespace platform
