#include "host/Output.h"

#include <fmt/format.h>

namespace host {

void Output::Line(std::int64_t virtual_nanos, std::string_view text) {
  const std::int64_t millis = virtual_nanos / 1'000'000;
  Block(fmt::format("[{}.{:03}] {}\n", millis / 1000, millis % 1000, text));
}

void Output::Block(std::string_view text) {
  std::lock_guard lock(mutex_);
  Write(out_, text);
}

void Output::Error(std::string_view text) {
  std::lock_guard lock(mutex_);
  std::fflush(out_);
  Write(errors_, text);
  std::fflush(errors_);
}

void Output::Flush() {
  std::lock_guard lock(mutex_);
  std::fflush(out_);
}

void Output::Write(std::FILE* file, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), file);
}

}  // namespace host
