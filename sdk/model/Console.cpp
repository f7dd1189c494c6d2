#include "sdk/model/Console.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>

#include <fmt/format.h>

namespace sdkhost {
namespace {

struct Cvar {
  int owner = 0;
  CvarInfo info;
  std::vector<std::shared_ptr<bool>> bindings;
};

struct Notifier {
  int owner = 0;
  std::function<void(std::vector<std::string>)> callback;
};

// The bound flags are read by plugins on other threads without the host's
// lock, so the host writes them atomically.
void StoreFlag(const std::shared_ptr<bool>& flag, bool value) {
  std::atomic_ref<bool>(*flag).store(value, std::memory_order_release);
}

bool ParseNumber(const std::string& text, float* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || std::isnan(parsed)) return false;
  *value = static_cast<float>(parsed);
  return true;
}

void Assign(Cvar& cvar, float value) {
  CvarInfo& info = cvar.info;
  if (info.has_min) value = std::max(value, info.min);
  if (info.has_max) value = std::min(value, info.max);
  info.value = value;
  info.value_text = fmt::format("{}", value);
  const bool on = static_cast<int>(value) != 0;
  for (const auto& flag : cvar.bindings) StoreFlag(flag, on);
}

}  // namespace

struct Console::Impl {
  // The console lock (Console.h): commands and changes of value one at a time.
  std::recursive_mutex console_lock;
  // The data below; never held while a callback runs.
  mutable std::mutex mutex;
  LogSink sink;
  std::map<std::string, Cvar> cvars;
  std::map<std::string, Notifier> notifiers;
  // The host's configuration: saved variables' values while they are unregistered.
  std::map<std::string, std::string> saved_values;
};

Console::Console() : impl_(std::make_unique<Impl>()) {}
Console::~Console() = default;

void Console::SetLogSink(LogSink sink) {
  std::lock_guard lock(impl_->mutex);
  impl_->sink = std::move(sink);
}

void Console::Log(const std::string& text) {
  std::lock_guard console_lock(impl_->console_lock);
  LogSink sink;
  {
    std::lock_guard lock(impl_->mutex);
    sink = impl_->sink;
  }
  if (sink) sink(text);
}

Console::Result Console::TypeIntoConsole(const std::vector<std::string>& words) {
  if (words.empty()) return Result::kDone;
  std::lock_guard console_lock(impl_->console_lock);
  const std::string& name = words[0];
  if (CvarExists(name)) {
    if (words.size() == 1) {
      Log(fmt::format("{} = {}", name, CvarValue(name).value_or("")));
      return Result::kDone;
    }
    if (words.size() != 2) return Result::kBadValue;
    return SetCvarValue(name, words[1]) ? Result::kDone : Result::kBadValue;
  }
  std::function<void(std::vector<std::string>)> callback;
  {
    std::lock_guard lock(impl_->mutex);
    auto it = impl_->notifiers.find(name);
    if (it == impl_->notifiers.end()) return Result::kUnknownName;
    callback = it->second.callback;
  }
  callback(words);
  return Result::kDone;
}

void Console::ExecuteCommand(const std::string& command) {
  std::istringstream in(command);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  TypeIntoConsole(words);
}

void Console::RegisterCvar(int owner, const CvarInfo& info) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->cvars.count(info.name) != 0) return;
  Cvar cvar;
  cvar.owner = owner;
  cvar.info = info;
  cvar.info.value_text = info.default_value;
  float value = 0;
  cvar.info.value = ParseNumber(info.default_value, &value) ? value : 0;
  if (auto saved = impl_->saved_values.find(info.name); saved != impl_->saved_values.end()) {
    if (ParseNumber(saved->second, &value)) Assign(cvar, value);
    impl_->saved_values.erase(saved);
  }
  impl_->cvars.emplace(info.name, std::move(cvar));
}

bool Console::CvarExists(const std::string& name) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->cvars.count(name) != 0;
}

std::optional<CvarInfo> Console::FindCvar(const std::string& name) const {
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->cvars.find(name);
  if (it == impl_->cvars.end()) return std::nullopt;
  return it->second.info;
}

void Console::BindCvar(const std::string& name, std::shared_ptr<bool> flag) {
  if (!flag) return;
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->cvars.find(name);
  if (it == impl_->cvars.end()) return;
  StoreFlag(flag, static_cast<int>(it->second.info.value) != 0);
  it->second.bindings.push_back(std::move(flag));
}

bool Console::SetCvarValue(const std::string& name, const std::string& text) {
  float value = 0;
  if (!ParseNumber(text, &value)) return false;
  std::lock_guard console_lock(impl_->console_lock);
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->cvars.find(name);
  if (it == impl_->cvars.end()) return false;
  Assign(it->second, value);
  return true;
}

std::optional<std::string> Console::CvarValue(const std::string& name) const {
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->cvars.find(name);
  if (it == impl_->cvars.end()) return std::nullopt;
  return it->second.info.value_text;
}

void Console::RegisterNotifier(int owner, const std::string& name,
                               std::function<void(std::vector<std::string>)> callback) {
  std::lock_guard lock(impl_->mutex);
  impl_->notifiers[name] = Notifier{owner, std::move(callback)};
}

bool Console::HasCommand(const std::string& name) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->notifiers.count(name) != 0;
}

void Console::Forget(int owner) {
  std::lock_guard lock(impl_->mutex);
  std::erase_if(impl_->notifiers,
                [owner](const auto& entry) { return entry.second.owner == owner; });
  for (auto it = impl_->cvars.begin(); it != impl_->cvars.end();) {
    if (it->second.owner != owner) {
      ++it;
      continue;
    }
    if (it->second.info.save_to_config) impl_->saved_values[it->first] = it->second.info.value_text;
    it = impl_->cvars.erase(it);
  }
}

}  // namespace sdkhost
