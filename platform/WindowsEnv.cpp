// The Windows side of the seam. Paths and environment values are UTF-8 in the
// plugin and wide at the Windows API, so that a profile folder whose name lies
// outside the ANSI code page (a Chinese or Cyrillic user name on a Western
// system) still works. Files are written through the runtime's text-mode
// streams without a deny mode, which store a line feed as CR LF.
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/Env.h"
#include "platform/WindowsText.h"

namespace platform {
namespace {

Status LastErrorStatus(const char* context) {
  return Status::Error(std::string(context) + ": " +
                       std::system_category().message(static_cast<int>(GetLastError())));
}

class WindowsTextFile final : public WritableFile {
 public:
  explicit WindowsTextFile(std::FILE* file) : file_(file) {}
  ~WindowsTextFile() override {
    if (file_ != nullptr) std::fclose(file_);
  }

  Status Append(std::string_view text) override {
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) {
      return Status::Error("write failed");
    }
    return Status::Ok();
  }

  Status Size(std::uint64_t* size) override {
    const __int64 length = _filelengthi64(_fileno(file_));
    if (length < 0) return Status::Error("size failed");
    *size = static_cast<std::uint64_t>(length);
    return Status::Ok();
  }

  Status Close() override {
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) return Status::Error("close failed");
    return Status::Ok();
  }

 private:
  std::FILE* file_;
};

class WindowsEnv final : public Env {
 public:
  std::optional<std::string> ReadEnvironmentVariable(const std::string& name) override {
    const std::wstring wide_name = Utf8ToWide(name);
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
    if (size == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    std::wstring value(size, L'\0');
    size = GetEnvironmentVariableW(wide_name.c_str(), value.data(), size);
    value.resize(size);
    return WideToUtf8(value);
  }

  Status CreateDirectories(const std::string& path) override {
    std::error_code error;
    const std::filesystem::path folder(Utf8ToWide(path));
    std::filesystem::create_directories(folder, error);
    if (error) return Status::Error(error.message());
    if (!std::filesystem::is_directory(folder, error)) {
      return Status::Error(std::make_error_code(std::errc::not_a_directory).message());
    }
    return Status::Ok();
  }

  Status NewTextFile(const std::string& path, OpenMode mode,
                     std::unique_ptr<WritableFile>* result) override {
    errno = 0;
    std::FILE* file =
        _wfsopen(Utf8ToWide(path).c_str(), mode == OpenMode::kAppend ? L"at" : L"wt", _SH_DENYNO);
    if (file == nullptr) {
      if (errno == ENOENT || errno == ENOTDIR) return Status::NotFound("open failed");
      return Status::Error("open failed");
    }
    *result = std::make_unique<WindowsTextFile>(file);
    return Status::Ok();
  }

  Status ReadByteAt(const std::string& path, std::uint64_t offset, char* byte) override {
    std::FILE* file = _wfsopen(Utf8ToWide(path).c_str(), L"rb", _SH_DENYNO);
    if (file == nullptr) return Status::Error("open failed");
    const bool read = _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0 &&
                      std::fread(byte, 1, 1, file) == 1;
    std::fclose(file);
    return read ? Status::Ok() : Status::Error("read failed");
  }

  Status GetFileSize(const std::string& path, std::uint64_t* size) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Utf8ToWide(path).c_str(), GetFileExInfoStandard, &data)) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        *size = 0;
        return Status::Ok();
      }
      return LastErrorStatus("size");
    }
    *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return Status::Ok();
  }

  Status TruncateFile(const std::string& path, std::uint64_t size) override {
    HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastErrorStatus("truncate");
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    Status status = ok ? Status::Ok() : LastErrorStatus("truncate");
    CloseHandle(file);
    return status;
  }

  Status RenameFile(const std::string& from, const std::string& to) override {
    if (!MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
      return LastErrorStatus("replace");
    }
    return Status::Ok();
  }

  std::int64_t NowUnixSeconds() override {
    // 100-nanosecond ticks since 1601; whole seconds since 1970.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10'000'000ULL) - 11'644'473'600LL;
  }

  bool ToLocalTime(std::int64_t unix_seconds, std::tm* out) override {
    const __time64_t t = unix_seconds;
    return _localtime64_s(out, &t) == 0;
  }

  std::int64_t MonotonicNanos() override {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    const std::int64_t seconds = counter.QuadPart / frequency.QuadPart;
    const std::int64_t rest = counter.QuadPart % frequency.QuadPart;
    return seconds * 1'000'000'000LL + rest * 1'000'000'000LL / frequency.QuadPart;
  }
};

}  // namespace

Env* NewOsEnv() {
  static WindowsEnv env;
  return &env;
}

}  // namespace platform

#endif  // _WIN32
