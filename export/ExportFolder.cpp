#include "export/ExportFolder.h"

#include <string_view>
#include <utility>

#include "platform/Env.h"

namespace {

// USERPROFILE wins even when empty (the root of the current drive); HOME is
// the fallback, and the current directory the last resort.
std::string ProfileFolder() {
  platform::Env* env = platform::Env::Default();
  if (auto profile = env->ReadEnvironmentVariable("USERPROFILE")) return std::move(*profile);
  if (auto home = env->ReadEnvironmentVariable("HOME")) return std::move(*home);
  return ".";
}

constexpr std::string_view kFolderName = ".tallyloom";

// The export folder, with room for `extra` more bytes (a file name).
std::string ExportFolderWithRoom(std::size_t extra) {
  std::string folder = ProfileFolder();
  folder.reserve(folder.size() + 1 + kFolderName.size() + extra);
  folder += platform::kPathSeparator;
  folder += kFolderName;
  return folder;
}

}  // namespace

std::string GetExportFolder() { return ExportFolderWithRoom(0); }

FolderAfterFailedOpen CheckFolderAfterFailedOpen(const platform::Status& open,
                                                 platform::Status* folder) {
  *folder = platform::Env::Default()->CreateDirectories(GetExportFolder());
  if (!folder->ok()) return FolderAfterFailedOpen::kFolderFailed;
  return open.IsNotFound() ? FolderAfterFailedOpen::kTryOpenAgain
                           : FolderAfterFailedOpen::kOpenFailed;
}

std::string ExportFilePath(const char* fileName) {
  const std::string_view name(fileName);
  std::string path = ExportFolderWithRoom(1 + name.size());
  path += platform::kPathSeparator;
  path += name;
  return path;
}
