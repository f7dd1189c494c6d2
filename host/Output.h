// Everything the host program prints goes through here, from any thread, in
// two forms: a console line stamped with its virtual time, and a block printed
// as it is (help, the settings tab, the demo's files). Errors go to standard
// error, after everything printed before them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string_view>

namespace host {

class Output {
 public:
  Output(std::FILE* out, std::FILE* errors) : out_(out), errors_(errors) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // "[T] TEXT": T is the virtual time in seconds with three decimals
  // (milliseconds rounded down).
  void Line(std::int64_t virtual_nanos, std::string_view text);
  void Block(std::string_view text);
  // `text` as it is, on standard error.
  void Error(std::string_view text);
  // Makes what was printed visible (to a pipe too).
  void Flush();

 private:
  void Write(std::FILE* file, std::string_view text);

  std::mutex mutex_;
  std::FILE* out_;
  std::FILE* errors_;
};

}  // namespace host
