// The POSIX side of the seam. Text mode does not exist on POSIX, so it is done
// here: the files must look the same on disk as on Windows (CR LF line ends).
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/Env.h"
#include "platform/TextMode.h"

namespace platform {
namespace {

Status ErrnoStatus(const std::string& context, int error) {
  const std::string message = context + ": " + std::generic_category().message(error);
  if (error == ENOENT || error == ENOTDIR) return Status::NotFound(message);
  return Status::Error(message);
}

class PosixTextFile final : public WritableFile {
 public:
  explicit PosixTextFile(int fd) : fd_(fd) {}
  ~PosixTextFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  // Text mode: converted into a buffer kept from write to write, then one
  // write (cheaper than a writev of the runs between line feeds).
  Status Append(std::string_view text) override {
    thread_local std::string bytes;
    SetTextModeBytes(bytes, text);
    return WriteAll(bytes, 0);
  }

  // The end of the file is its length; for a file opened to append, writes
  // go there anyway. Cheaper than fstat, which fills a whole struct.
  Status Size(std::uint64_t* size) override {
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0) return ErrnoStatus("lseek", errno);
    *size = static_cast<std::uint64_t>(end);
    return Status::Ok();
  }

  Status Close() override {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return ErrnoStatus("close", errno);
    return Status::Ok();
  }

 private:
  Status WriteAll(const std::string& bytes, std::size_t done) {
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

  int fd_;
};

class PosixEnv final : public Env {
 public:
  std::optional<std::string> ReadEnvironmentVariable(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  }

  Status CreateDirectories(const std::string& path) override {
    // The folder almost always exists: one mkdir finds it, one stat checks it.
    if (::mkdir(path.c_str(), 0755) == 0) return Status::Ok();
    const int error = errno;
    if (error == EEXIST) {
      struct stat info;
      if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return Status::Ok();
      return Status::Error(std::make_error_code(std::errc::not_a_directory).message());
    }
    if (error != ENOENT) return Status::Error(std::generic_category().message(error));
    // A parent is missing too.
    std::error_code failure;
    std::filesystem::create_directories(path, failure);
    if (failure) return Status::Error(failure.message());
    if (!std::filesystem::is_directory(path, failure)) {
      return Status::Error(std::make_error_code(std::errc::not_a_directory).message());
    }
    return Status::Ok();
  }

  Status NewTextFile(const std::string& path, OpenMode mode,
                     std::unique_ptr<WritableFile>* result) override {
    const int flags =
        O_WRONLY | O_CREAT | O_CLOEXEC | (mode == OpenMode::kAppend ? O_APPEND : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) return ErrnoStatus("open", errno);
    *result = std::make_unique<PosixTextFile>(fd);
    return Status::Ok();
  }

  Status ReadByteAt(const std::string& path, std::uint64_t offset, char* byte) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrnoStatus("open", errno);
    ssize_t n = 0;
    do {
      n = ::pread(fd, byte, 1, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    const int error = errno;
    ::close(fd);
    if (n < 0) return ErrnoStatus("read", error);
    if (n == 0) return Status::Error("read: no byte there");
    return Status::Ok();
  }

  Status GetFileSize(const std::string& path, std::uint64_t* size) override {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
      if (errno == ENOENT) {
        *size = 0;
        return Status::Ok();
      }
      return ErrnoStatus("stat", errno);
    }
    *size = static_cast<std::uint64_t>(info.st_size);
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
