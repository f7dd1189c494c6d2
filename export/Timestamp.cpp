#include "export/Timestamp.h"

#include <ctime>

#include "platform/Env.h"

std::string CurrentTimestamp() {
  platform::Env* env = platform::Env::Default();
  std::tm local{};
  if (!env->ToLocalTime(env->NowUnixSeconds(), &local)) return std::string();
  char buffer[32];
  const std::size_t length = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &local);
  return std::string(buffer, length);
}
