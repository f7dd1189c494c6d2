// The POSIX side of the seam.
#ifndef _WIN32

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/Env.h"

namespace platform {
namespace {

Status ErrnoStatus(const std::string& context, int error) {
  const std::string message = context + ": " + std::generic_category().message(error);
  if (error == ENOENT || error == ENOTDIR) return Status::NotFound(message);
  return Status::Error(message);
}

class PosixFile final : public WritableFile {
 public:
  PosixFile(int fd, bool readable) : fd_(fd), readable_(readable) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  Status Append(std::string_view bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrnoStatus("write", errno);
      }
      done += static_cast<std::size_t>(n);
    }
    return Status::Ok();
  }

  Status Close() override {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return ErrnoStatus("close", errno);
    return Status::Ok();
  }

  Status Size(std::uint64_t* size) override {
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0) return ErrnoStatus("lseek", errno);
    *size = static_cast<std::uint64_t>(end);
    return Status::Ok();
  }

  Status ReadByteAt(std::uint64_t offset, char* byte) override {
    if (!readable_) return Status::Error("read: opened without read access");
    ssize_t n = 0;
    do {
      n = ::pread(fd_, byte, 1, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return ErrnoStatus("read", errno);
    if (n == 0) return Status::Error("read: no byte there");
    return Status::Ok();
  }

 private:
  int fd_;
  bool readable_;
};

class PosixEnv final : public Env {
 public:
  std::optional<std::string> ReadEnvironmentVariable(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  }

  Status CreateDirectories(const std::string& path) override {
    std::error_code failure;
    std::filesystem::create_directories(path, failure);
    if (failure) return Status::Error(failure.message());
    if (!std::filesystem::is_directory(path, failure)) {
      return Status::Error(std::make_error_code(std::errc::not_a_directory).message());
    }
    return Status::Ok();
  }

  Status NewWritableFile(const std::string& path, OpenMode mode,
                         std::unique_ptr<WritableFile>* result) override {
    int fd = -1;
    bool readable = false;
    if (mode == OpenMode::kTruncate) {
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } else {
      // Read access too, for a look at the file's end; append only where
      // reading is refused.
      const int append = O_APPEND | O_CREAT | O_CLOEXEC;
      fd = ::open(path.c_str(), O_RDWR | append, 0644);
      readable = fd >= 0;
      if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_WRONLY | append, 0644);
    }
    if (fd < 0) return ErrnoStatus("open", errno);
    *result = std::make_unique<PosixFile>(fd, readable);
    return Status::Ok();
  }

  Status TruncateFile(const std::string& path, std::uint64_t size) override {
    if (::truncate(path.c_str(), static_cast<off_t>(size)) != 0) {
      return ErrnoStatus("truncate", errno);
    }
    return Status::Ok();
  }

  Status RenameFile(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return ErrnoStatus("rename", errno);
    return Status::Ok();
  }

  std::int64_t NowUnixSeconds() override {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
  }

  bool ToLocalTime(std::int64_t unix_seconds, std::tm* out) override {
    const std::time_t t = static_cast<std::time_t>(unix_seconds);
    return ::localtime_r(&t, out) != nullptr;
  }

  std::int64_t MonotonicNanos() override {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
  }
};

}  // namespace

Env* NewOsEnv() {
  static PosixEnv env;
  return &env;
}

}  // namespace platform

#endif  // !_WIN32
