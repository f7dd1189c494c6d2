// An Env that makes chosen operations fail, for tests and the simulated host.
// A failed write stores part of its bytes first, as a full disk would, so that
// tests see what a torn write leaves behind. A crash stores half of a write's
// bytes and then ends the process at once, as a game that dies mid-write.
#pragma once

#include <array>
#include <condition_variable>
#include <mutex>

#include "platform/Env.h"

namespace platform {

enum class FaultOp { kMkdir, kOpen, kWrite, kClose, kReplace, kCrash };
inline constexpr int kFaultOpCount = 6;

// The exit status of a process ended by an injected crash.
inline constexpr int kCrashExitCode = 99;

class FaultInjectionEnv : public EnvWrapper {
 public:
  explicit FaultInjectionEnv(Env* target) : EnvWrapper(target) {}

  // The next `op` fails once, or every time with `always`.
  void Fail(FaultOp op, bool always);
  void Clear();
  // How many faults have been injected so far (for tests that count them).
  int InjectedCount() const;

  // The next file write waits, before it writes anything, until
  // ReleaseHeldWrite. WaitForHeldWrite returns true once it waits, or false
  // when ReleaseHeldWrite came first (the write never came). For tests of
  // what other threads can do while a write is under way.
  void HoldNextWrite();
  bool WaitForHeldWrite();
  void ReleaseHeldWrite();

  Status CreateDirectories(const std::string& path) override;
  Status NewWritableFile(const std::string& path, OpenMode mode,
                         std::unique_ptr<WritableFile>* result) override;
  Status RenameFile(const std::string& from, const std::string& to) override;

  // Used by the files this Env opens.
  bool ShouldFail(FaultOp op);
  void WaitIfHeld();

 private:
  enum class Armed { kNo, kOnce, kAlways };
  mutable std::mutex mutex_;
  std::array<Armed, kFaultOpCount> armed_{};
  int injected_ = 0;
  enum class Hold { kNone, kArmed, kWaiting, kReleased };
  Hold hold_ = Hold::kNone;
  std::condition_variable hold_changed_;
};

}  // namespace platform
