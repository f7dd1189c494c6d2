// A small success-or-message result for the platform seam: callers need the
// file-system layer's own description text for some of their messages, and
// whether a path was missing (so that a folder is made only when it must be).
#pragma once

#include <string>
#include <utility>

namespace platform {

class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message), false); }
  // The path, or a folder on the way to it, does not exist (or is no folder).
  static Status NotFound(std::string message) { return Status(std::move(message), true); }

  bool ok() const { return !failed_; }
  bool IsNotFound() const { return not_found_; }
  const std::string& message() const { return message_; }

 private:
  Status(std::string message, bool not_found)
      : failed_(true), not_found_(not_found), message_(std::move(message)) {}

  bool failed_ = false;
  bool not_found_ = false;
  std::string message_;
};

}  // namespace platform
