#include "sdk/model/GameThread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace sdkhost {
namespace {

std::atomic<bool> enforcing{false};
std::atomic<std::thread::id> game_thread{};

}  // namespace

void EnforceGameThread() {
  game_thread.store(std::this_thread::get_id());
  enforcing.store(true);
}

void StopEnforcingGameThread() { enforcing.store(false); }

void RequireGameThread(const char* call) {
  // Every frame asks the game something, so the common case is two loads.
  if (!enforcing.load(std::memory_order_relaxed)) return;
  if (std::this_thread::get_id() == game_thread.load(std::memory_order_relaxed)) return;
  // The console lines so far show what led here.
  std::fflush(stdout);
  std::fprintf(stderr,
               "tallyloom-host: %s was called off the game thread; in the real game this "
               "call would very likely crash it (use GameWrapper::Execute)\n",
               call);
  std::fflush(stderr);
  std::_Exit(kOffGameThreadExitCode);
}

}  // namespace sdkhost
