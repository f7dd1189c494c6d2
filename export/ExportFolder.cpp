#include "export/ExportFolder.h"

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

}  // namespace

std::string GetExportFolder() { return ProfileFolder() + platform::kPathSeparator + ".tallyloom"; }

std::string ExportFilePath(const char* fileName) {
  return GetExportFolder() + platform::kPathSeparator + fileName;
}
