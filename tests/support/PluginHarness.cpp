#include "tests/support/PluginHarness.h"

#include "plugin/PluginLog.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace {

// The plugin's repeat window and freeplay throttle are process-wide monotonic
// time points; each harness starts its monotonic clock a virtual day after
// where the previous one stopped, so sessions in one process never see time
// run backwards.
std::atomic<std::int64_t> monotonic_high_water{0};

std::int64_t NextMonotonicOffset() {
  return monotonic_high_water.load() + 86'400LL * 1'000'000'000LL;
}

}  // namespace

PluginHarness::PluginHarness()
    : faults_(platform::NewOsEnv()),
      env_(&faults_, &clock_, kWallStart, NextMonotonicOffset()),
      model_(&clock_) {
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
  const std::int64_t reached = env_.MonotonicNanos() - platform::VirtualClock::kMonotonicOrigin;
  if (reached > monotonic_high_water.load()) monotonic_high_water.store(reached);
  plugin_.reset();
  // The plugin's process-wide console handle points into this harness's host.
  globalCvarManager.reset();
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
  plugin_ = std::make_shared<TallyLoomMMR>();
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
