// The one seam between TallyLoom and the operating system: files, directories,
// environment variables and clocks. Plugin code never calls the OS directly; it
// asks Env::Default(), which is the real implementation unless the process that
// hosts the plugin (a test, the simulated host) installs its own.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Status.h"

namespace platform {

// The platform's own path separator. Windows paths use the backslash; POSIX
// paths cannot, so they use the slash.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// A file opened for writing. It writes bytes as they are; text mode (CR LF
// line ends on every system) is done above the seam, in TextFiles.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Writes all of `bytes` in one piece; a file opened to append writes them
  // at its end.
  virtual Status Append(std::string_view bytes) = 0;
  // Flushes and closes; a failure means the data may not be on disk.
  virtual Status Close() = 0;
  // The file's length now, where an append starts. Fails for a file that
  // cannot be positioned (a pipe; a device may fail or give 0).
  virtual Status Size(std::uint64_t* size) = 0;
  // The byte at `offset`, read through this handle. Fails when the handle may
  // not read (a file opened to append where reading is refused, or one opened
  // to truncate) or the file cannot be positioned.
  virtual Status ReadByteAt(std::uint64_t offset, char* byte) = 0;
};

enum class OpenMode { kTruncate, kAppend };

class Env {
 public:
  virtual ~Env() = default;

  // The process-wide environment. Never null.
  static Env* Default();
  // Installs the environment for this module of the process (tests); nullptr
  // restores the normal choice.
  static void SetDefault(Env* env);

  // Absent and present-but-empty are different answers.
  virtual std::optional<std::string> ReadEnvironmentVariable(const std::string& name) = 0;

  // Creates the directory and any missing parents; an existing directory is
  // success. The error message is the file-system layer's own description.
  virtual Status CreateDirectories(const std::string& path) = 0;

  // Opens a file for writing, without a deny mode, so other processes may
  // read it meanwhile. kTruncate creates or empties it. kAppend creates it or
  // writes after its end, and asks for read access too, so that the file's
  // end can be looked at through the handle that appends; where reading is
  // refused, the file is opened to append only. A missing folder on the way
  // gives a NotFound status: the folder is not made here.
  virtual Status NewWritableFile(const std::string& path, OpenMode mode,
                                 std::unique_ptr<WritableFile>* result) = 0;

  // Cuts an existing file back to `size` bytes.
  virtual Status TruncateFile(const std::string& path, std::uint64_t size) = 0;

  // Moves `from` onto `to` in one step, replacing an existing `to`.
  virtual Status RenameFile(const std::string& from, const std::string& to) = 0;

  // System clock in whole seconds since 1970.
  virtual std::int64_t NowUnixSeconds() = 0;
  // Local broken-down time of the machine's zone.
  virtual bool ToLocalTime(std::int64_t unix_seconds, std::tm* out) = 0;
  // Monotonic clock in nanoseconds; never goes backwards.
  virtual std::int64_t MonotonicNanos() = 0;
};

// Forwards every call to another Env, so that a test environment overrides only
// what it changes.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  std::optional<std::string> ReadEnvironmentVariable(const std::string& name) override {
    return target_->ReadEnvironmentVariable(name);
  }
  Status CreateDirectories(const std::string& path) override {
    return target_->CreateDirectories(path);
  }
  Status NewWritableFile(const std::string& path, OpenMode mode,
                         std::unique_ptr<WritableFile>* result) override {
    return target_->NewWritableFile(path, mode, result);
  }
  Status TruncateFile(const std::string& path, std::uint64_t size) override {
    return target_->TruncateFile(path, size);
  }
  Status RenameFile(const std::string& from, const std::string& to) override {
    return target_->RenameFile(from, to);
  }
  std::int64_t NowUnixSeconds() override { return target_->NowUnixSeconds(); }
  bool ToLocalTime(std::int64_t unix_seconds, std::tm* out) override {
    return target_->ToLocalTime(unix_seconds, out);
  }
  std::int64_t MonotonicNanos() override { return target_->MonotonicNanos(); }

 private:
  Env* target_;
};

// The real implementation of this operating system.
Env* NewOsEnv();

// The symbol a host program exports to hand its environment to every plugin
// library it loads (looked up in the main program, never in a plugin).
inline constexpr const char* kHostEnvSymbol = "TallyLoomHostEnv";
using HostEnvFunction = Env* (*)();

}  // namespace platform
