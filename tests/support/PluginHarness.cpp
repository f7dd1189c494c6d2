#include "tests/support/PluginHarness.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <unistd.h>

PluginHarness::PluginHarness()
    : faults_(platform::NewOsEnv()), env_(&faults_, &clock_, kWallStart), model_(&clock_) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tallyloom-test-XXXXXX").string();
  root_ = mkdtemp(pattern.data());
  profile_ = root_ / "profile";
  std::filesystem::create_directories(profile_);
  if (const char* old = std::getenv("USERPROFILE")) {
    had_userprofile_ = true;
    saved_userprofile_ = old;
  }
  setenv("USERPROFILE", profile_.c_str(), 1);
  setenv("TZ", "UTC", 1);
  tzset();
  platform::Env::SetDefault(&env_);
  model_.time().SetFramesPerSecond(0);
  model_.console().SetLogSink([this](const std::string& line) { console_.push_back(line); });
}

PluginHarness::~PluginHarness() {
  plugin_.reset();
  platform::Env::SetDefault(nullptr);
  if (had_userprofile_) {
    setenv("USERPROFILE", saved_userprofile_.c_str(), 1);
  } else {
    unsetenv("USERPROFILE");
  }
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

TallyLoomMMR& PluginHarness::Create() {
  plugin_ = std::make_shared<TallyLoomMMR>(throttles_);
  ++owner_;
  plugin_->cvarManager = model_.NewCVarManager(owner_);
  plugin_->gameWrapper = model_.NewGameWrapper(owner_);
  game_wrappers_.push_back(plugin_->gameWrapper);
  return *plugin_;
}

TallyLoomMMR& PluginHarness::Load() {
  Create().onLoad();
  return *plugin_;
}

void PluginHarness::Unload() {
  if (!plugin_) return;
  plugin_->onUnload();
  model_.ForgetOwner(owner_);
  plugin_.reset();
}

void PluginHarness::Advance(double seconds) {
  model_.time().Advance(static_cast<std::int64_t>(std::llround(seconds * 1e9)));
}

std::string PluginHarness::ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void PluginHarness::WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}
