#include "platform/Env.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace platform {
namespace {

std::atomic<Env*> g_installed{nullptr};

// A host program may export an environment of its own (virtual clocks, fault
// injection). It is looked up in the main program only, so the real host,
// which exports no such symbol, always gets the operating system.
Env* HostProgramEnv() {
#ifdef _WIN32
  auto function = reinterpret_cast<HostEnvFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(nullptr), kHostEnvSymbol)));
#else
  auto function = reinterpret_cast<HostEnvFunction>(dlsym(RTLD_DEFAULT, kHostEnvSymbol));
#endif
  return function != nullptr ? function() : nullptr;
}

Env* ChosenEnv() {
  static Env* const chosen = [] {
    Env* host = HostProgramEnv();
    return host != nullptr ? host : NewOsEnv();
  }();
  return chosen;
}

}  // namespace

Env* Env::Default() {
  Env* installed = g_installed.load(std::memory_order_acquire);
  return installed != nullptr ? installed : ChosenEnv();
}

void Env::SetDefault(Env* env) { g_installed.store(env, std::memory_order_release); }

}  // namespace platform
