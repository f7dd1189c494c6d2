// A plain driver for the fuzz targets, built with the project's own compiler:
// runs every file of the given corpora (folders or single files) through the
// target once, in name order, so the test command replays what the fuzzers
// found without needing libFuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path path = argv[i];
    if (fs::is_directory(path)) {
      for (const auto& entry : fs::directory_iterator(path)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
    } else if (fs::is_regular_file(path)) {
      inputs.push_back(path);
    } else {
      std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
      return 2;
    }
  }
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s CORPUS... (no inputs found)\n", argv[0]);
    return 2;
  }
  for (const fs::path& input : inputs) {
    std::ifstream file(input, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    // A broken promise aborts inside the target; name the input first.
    std::fprintf(stderr, "%s\n", input.string().c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("[ COUNTS   ] %s: %zu inputs replayed, none failed\n",
              fs::path(argv[0]).filename().string().c_str(), inputs.size());
  return 0;
}
