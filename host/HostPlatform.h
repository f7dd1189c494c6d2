// The few things the host program itself needs from the operating system,
// for Linux and for Windows (where the program runs under Wine in tests).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace host {

// The program's arguments as UTF-8 (Windows hands them over in UTF-16).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// Sets USERPROFILE inside this process, where the plugin reads it.
void SetProfileVariable(const std::string& folder);
// A new, empty folder under the system's temporary folder.
std::optional<std::string> MakeScratchFolder(const std::string& prefix);
bool StdinIsTerminal();
// Console lines and script errors end in a bare line feed on every system.
void UseBinaryStdout();
// The folder of this program (for the plugin library beside it).
std::string ProgramFolder();

}  // namespace host

namespace host {

// A file held open by another program (the desktop app reading it), letting
// others share it not at all, for reading, for writing only, or for everything
// (Windows sharing; POSIX has no sharing modes, so there it only keeps the
// file open).
class HeldFile {
 public:
  enum class Sharing { kNone, kRead, kWrite, kAll };
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // nullptr and `error` when the file cannot be opened.
  static std::unique_ptr<HeldFile> Open(const std::string& path, Sharing sharing,
                                        std::string* error);

 private:
  explicit HeldFile(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_;
};

}  // namespace host
