#include "export/ExportFolder.h"

#include "platform/Env.h"

namespace {

// USERPROFILE wins even when empty (the root of the current drive); HOME is
// the fallback, and the current directory the last resort.
std::string ProfileFolder() {
  platform::Env* env = platform::Env::Default();
  if (auto profile = env->ReadEnvironmentVariable("USERPROFILE")) return *profile;
  if (auto home = env->ReadEnvironmentVariable("HOME")) return *home;
  return ".";
}

}  // namespace

std::string GetExportFolder() {
  std::string folder = ProfileFolder();
  folder += platform::kPathSeparator;
  folder += ".tallyloom";
  return folder;
}

FolderAfterFailedOpen CheckFolderAfterFailedOpen(const platform::Status& open,
                                                 platform::Status* folder) {
  *folder = platform::Env::Default()->CreateDirectories(GetExportFolder());
  if (!folder->ok()) return FolderAfterFailedOpen::kFolderFailed;
  return open.IsNotFound() ? FolderAfterFailedOpen::kTryOpenAgain
                           : FolderAfterFailedOpen::kOpenFailed;
}

std::string ExportFilePath(const char* fileName) {
  std::string path = GetExportFolder();
  path += platform::kPathSeparator;
  path += fileName;
  return path;
}
