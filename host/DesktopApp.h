// The desktop app that reads the plugin's files, as far as the host plays it:
// where it finds them, the files it holds open (`hold`, `release`), and the
// files as it reads them, which the demo prints at its end.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "host/HostPlatform.h"
#include "platform/Env.h"

namespace host {

class DesktopApp {
 public:
  // `env` is the one the plugin sees, so that both read the same variables.
  explicit DesktopApp(platform::Env* env) : env_(env) {}

  // Where the plugin writes, by the plugin's own rule (which the host cannot
  // take from it): USERPROFILE, else HOME, else the current folder, followed
  // by the folder .tallyloom.
  std::string ExportFolder() const;
  std::string PathOf(const std::string& file) const;

  // Opens `file` of the export folder and keeps it open, sharing it so;
  // false with the system's reason when it cannot be opened.
  bool Hold(const std::string& file, HeldFile::Sharing sharing, std::string* why);
  // False when `file` is not held.
  bool Release(const std::string& file);

  // Both files, each line indented, CR LF read as line ends.
  std::string ShowFiles() const;

 private:
  platform::Env* env_;
  std::map<std::string, std::unique_ptr<HeldFile>> held_;
};

}  // namespace host
