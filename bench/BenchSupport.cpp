#include "bench/BenchSupport.h"

#include <stdlib.h>

#include "platform/Env.h"

ScratchFolder::ScratchFolder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "tallyloom-bench-XXXXXX").string();
  path_ = mkdtemp(pattern.data());
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

BenchPlugin::BenchPlugin() : model_(&clock_) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "tallyloom-bench-XXXXXX").string();
  profile_ = mkdtemp(pattern.data());
  setenv("USERPROFILE", profile_.c_str(), 1);
  platform::Env::SetDefault(nullptr);  // the real OS: real files and clocks
  model_.time().SetFramesPerSecond(0);
  model_.console().SetLogSink([](const std::string&) {});
  plugin_ = std::make_shared<TallyLoomMMR>(throttles_);
  plugin_->cvarManager = model_.NewCVarManager(1);
  plugin_->gameWrapper = model_.NewGameWrapper(1);
  plugin_->onLoad();
}

BenchPlugin::~BenchPlugin() {
  plugin_->onUnload();
  plugin_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(profile_, ignored);
}

void BenchPlugin::SetUpRatings() {
  model_.game().SetAccountText("76561198012345678");
  model_.game().SetPlayerName("Bench Player");
  const int playlists[] = {10, 11, 13, 27, 28, 29, 30};
  float mmr = 1000.4f;
  for (int playlist : playlists) model_.game().SetMmr(playlist, mmr += 37.0f);
}
