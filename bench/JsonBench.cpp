// JsonEscape over names as players pick them, beside a plain copy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "export/JsonText.h"

namespace {

const std::vector<std::string>& Names() {
  static const std::vector<std::string> names = {
      "Mara Quinn",
      "xX_Sn1per_Xx",
      "Zoë Ångström",
      "Łukasz Wójcik",
      "山田太郎",
      "Ελένη",
      "player \"the\" best",
      "back\\slash",
      "tab\there",
      "🚀 Rocket 🚀",
      "Ranked Doubles 2v2",
      "Jürgen Müller",
      "Владимир",
      "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345",
      "Ñandú",
      "a",
  };
  return names;
}

std::int64_t TotalBytes() {
  std::int64_t total = 0;
  for (const auto& name : Names()) total += static_cast<std::int64_t>(name.size());
  return total;
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<std::string> out(Names().size());
  for (std::size_t i = 0; i < out.size(); ++i) out[i].resize(Names()[i].size());
  for (auto _ : state) {
    for (std::size_t i = 0; i < out.size(); ++i) {
      std::memcpy(out[i].data(), Names()[i].data(), Names()[i].size());
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * TotalBytes());
}
BENCHMARK(BM_Memcpy);

void BM_JsonEscape(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& name : Names()) benchmark::DoNotOptimize(JsonEscape(name));
  }
  state.SetBytesProcessed(state.iterations() * TotalBytes());
}
BENCHMARK(BM_JsonEscape);

}  // namespace
