// The host program hands its environment (virtual clocks, fault injection) to
// the plugin libraries it loads through one exported symbol.
#include <atomic>

#include "host/HostSession.h"
#include "platform/Env.h"

namespace {
std::atomic<platform::Env*> g_host_env{nullptr};
}

namespace host {
void InstallHostEnv(platform::Env* env) { g_host_env.store(env); }
}  // namespace host

#if defined(_WIN32)
extern "C" __declspec(dllexport) platform::Env* TallyLoomHostEnv() { return g_host_env.load(); }
#else
extern "C" __attribute__((visibility("default"))) platform::Env* TallyLoomHostEnv() {
  return g_host_env.load();
}
#endif
