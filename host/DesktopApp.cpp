#include "host/DesktopApp.h"

#include <fmt/format.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/TextLines.h"

namespace host {
namespace {

std::string ShowFile(const char* title, const std::string& path) {
  std::string shown = fmt::format("\n{}: {}\n", title, path);
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in) return shown + "  (not written)\n";
  std::ostringstream read;
  read << in.rdbuf();
  const std::string text = read.str();  // the lines below point into it
  for (const std::string_view line : SplitLines(text)) {
    shown.append("  ").append(line).append("\n");
  }
  return shown;
}

}  // namespace

std::string DesktopApp::ExportFolder() const {
  const std::string profile = env_->ReadEnvironmentVariable("USERPROFILE")
                                  .value_or(env_->ReadEnvironmentVariable("HOME").value_or("."));
  return profile + platform::kPathSeparator + ".tallyloom";
}

std::string DesktopApp::PathOf(const std::string& file) const {
  return ExportFolder() + platform::kPathSeparator + file;
}

bool DesktopApp::Hold(const std::string& file, HeldFile::Sharing sharing, std::string* why) {
  std::unique_ptr<HeldFile> held = HeldFile::Open(PathOf(file), sharing, why);
  if (!held) return false;
  held_[file] = std::move(held);
  return true;
}

bool DesktopApp::Release(const std::string& file) { return held_.erase(file) != 0; }

std::string DesktopApp::ShowFiles() const {
  return ShowFile("Snapshot file", PathOf("bakkesmod_mmr.json")) +
         ShowFile("Match history file", PathOf("bakkesmod_match_history.jsonl"));
}

}  // namespace host
