// The Windows side of the seam. Paths and environment values are UTF-8 in the
// plugin and wide at the Windows API, so that a profile folder whose name lies
// outside the ANSI code page (a Chinese or Cyrillic user name on a Western
// system) still works. Files are opened in binary through CreateFileW,
// sharing reading and writing with others (no deny mode); text mode is done
// above the seam.
#ifdef _WIN32

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/Env.h"
#include "platform/WindowsText.h"

namespace platform {
namespace {

Status LastErrorStatus(const char* context) {
  const DWORD error = GetLastError();
  const std::string message =
      std::string(context) + ": " + std::system_category().message(static_cast<int>(error));
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    return Status::NotFound(message);
  }
  return Status::Error(message);
}

class WindowsFile final : public WritableFile {
 public:
  WindowsFile(HANDLE handle, bool readable) : handle_(handle), readable_(readable) {}
  ~WindowsFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }

  Status Append(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      DWORD written = 0;
      if (!WriteFile(handle_, bytes.data(), chunk, &written, nullptr)) {
        return LastErrorStatus("write");
      }
      bytes.remove_prefix(written);
    }
    return Status::Ok();
  }

  Status Close() override {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle)) return LastErrorStatus("close");
    return Status::Ok();
  }

  Status Size(std::uint64_t* size) override {
    // Only a disk file has a length to go by (not a pipe or a device).
    if (GetFileType(handle_) != FILE_TYPE_DISK) return Status::Error("size: not a disk file");
    LARGE_INTEGER length;
    if (!GetFileSizeEx(handle_, &length)) return LastErrorStatus("size");
    *size = static_cast<std::uint64_t>(length.QuadPart);
    return Status::Ok();
  }

  Status ReadByteAt(std::uint64_t offset, char* byte) override {
    if (!readable_) return Status::Error("read: opened without read access");
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!ReadFile(handle_, byte, 1, &read, &at)) return LastErrorStatus("read");
    if (read != 1) return Status::Error("read: no byte there");
    return Status::Ok();
  }

 private:
  HANDLE handle_;
  bool readable_;
};

HANDLE OpenFile(const std::wstring& path, DWORD access, DWORD disposition) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

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

  Status NewWritableFile(const std::string& path, OpenMode mode,
                         std::unique_ptr<WritableFile>* result) override {
    const std::wstring wide = Utf8ToWide(path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool readable = false;
    if (mode == OpenMode::kTruncate) {
      handle = OpenFile(wide, GENERIC_WRITE, CREATE_ALWAYS);
    } else {
      // Binary access (the C runtime's "a+" would drop a trailing Ctrl-Z and
      // translate what it reads), reading too for a look at the file's end;
      // append only where reading is refused, by the file's rights or by a
      // reader that shares writing but not reading.
      handle = OpenFile(wide, FILE_APPEND_DATA | FILE_READ_DATA, OPEN_ALWAYS);
      readable = handle != INVALID_HANDLE_VALUE;
      const DWORD error = GetLastError();
      if (handle == INVALID_HANDLE_VALUE &&
          (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)) {
        handle = OpenFile(wide, FILE_APPEND_DATA, OPEN_ALWAYS);
      }
    }
    if (handle == INVALID_HANDLE_VALUE) return LastErrorStatus("open");
    *result = std::make_unique<WindowsFile>(handle, readable);
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
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
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
