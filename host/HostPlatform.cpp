#include "host/HostPlatform.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#include <fcntl.h>
#include <io.h>

#include "platform/WindowsText.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace host {

#ifdef _WIN32

std::vector<std::string> Utf8Arguments(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(platform::WideToUtf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

void SetProfileVariable(const std::string& folder) {
  const std::wstring wide = platform::Utf8ToWide(folder);
  SetEnvironmentVariableW(L"USERPROFILE", wide.c_str());
  _wputenv_s(L"USERPROFILE", wide.c_str());
}

bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

void UseBinaryStdout() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::string ProgramFolder() {
  wchar_t buffer[32768];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
  return platform::WideToUtf8(
      std::filesystem::path(std::wstring(buffer, length)).parent_path().wstring());
}

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void SetProfileVariable(const std::string& folder) { setenv("USERPROFILE", folder.c_str(), 1); }

bool StdinIsTerminal() { return isatty(STDIN_FILENO) != 0; }

void UseBinaryStdout() {}

std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

#endif

#ifdef _WIN32

std::unique_ptr<HeldFile> HeldFile::Open(const std::string& path, Sharing sharing,
                                         std::string* error) {
  DWORD share = 0;
  switch (sharing) {
    case Sharing::kNone:
      break;
    case Sharing::kRead:
      share = FILE_SHARE_READ;
      break;
    case Sharing::kWrite:
      share = FILE_SHARE_WRITE;
      break;
    case Sharing::kAll:
      share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      break;
  }
  HANDLE handle = CreateFileW(platform::Utf8ToWide(path).c_str(), GENERIC_READ, share, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = std::system_category().message(static_cast<int>(GetLastError()));
    return nullptr;
  }
  return std::unique_ptr<HeldFile>(new HeldFile(reinterpret_cast<std::intptr_t>(handle)));
}

HeldFile::~HeldFile() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

#else

std::unique_ptr<HeldFile> HeldFile::Open(const std::string& path, Sharing, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<HeldFile>(new HeldFile(fd));
}

HeldFile::~HeldFile() { ::close(static_cast<int>(handle_)); }

#endif

std::optional<std::string> MakeScratchFolder(const std::string& prefix) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  std::error_code error;
  const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
  if (error) return std::nullopt;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder = temp / (prefix + std::to_string(random() % 1000000000));
    if (std::filesystem::create_directory(folder, error)) return folder.string();
  }
  return std::nullopt;
}

}  // namespace host
