// Reads a library's version resource back through Windows' own API and prints
// it, one "NAME=VALUE" per line.
#include <windows.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(argv[1], &ignored);
  if (size == 0) return 3;
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(argv[1], 0, size, data.data())) return 4;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length)) return 5;
  // HIWORD and LOWORD give int in MinGW's headers and WORD elsewhere.
  const auto part = [](unsigned value) { return value; };
  std::printf("FileVersion=%u.%u.%u.%u\n", part(HIWORD(fixed->dwFileVersionMS)),
              part(LOWORD(fixed->dwFileVersionMS)), part(HIWORD(fixed->dwFileVersionLS)),
              part(LOWORD(fixed->dwFileVersionLS)));
  std::printf("ProductVersion=%u.%u.%u.%u\n", part(HIWORD(fixed->dwProductVersionMS)),
              part(LOWORD(fixed->dwProductVersionMS)), part(HIWORD(fixed->dwProductVersionLS)),
              part(LOWORD(fixed->dwProductVersionLS)));

  struct Translation {
    WORD language;
    WORD code_page;
  }* translation = nullptr;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof(Translation)) {
    return 6;
  }
  std::printf("Translation=%04X %04X\n", translation->language, translation->code_page);
  for (const char* name : {"FileDescription", "FileVersion", "ProductName", "ProductVersion"}) {
    char query[128];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\%s", translation->language,
                  translation->code_page, name);
    char* value = nullptr;
    if (!VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&value), &length)) return 7;
    std::printf("%s=%s\n", name, value);
  }
  return 0;
}
