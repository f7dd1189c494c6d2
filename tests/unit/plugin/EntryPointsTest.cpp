// The library as the host sees it: its record and its two entry points,
// reached only through dlopen/dlsym.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "plugin/PluginVersion.h"

namespace {

class EntryPointsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(TALLYLOOM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    record_ = static_cast<const unsigned char*>(dlsym(handle_, "exports"));
    get_plugin_ = reinterpret_cast<std::uintptr_t (*)()>(dlsym(handle_, "getPlugin"));
    delete_me_ = reinterpret_cast<void (*)()>(dlsym(handle_, "deleteMe"));
    ASSERT_NE(record_, nullptr);
    ASSERT_NE(get_plugin_, nullptr);
    ASSERT_NE(delete_me_, nullptr);
  }
  void TearDown() override {
    if (delete_me_ != nullptr) delete_me_();
  }

  template <class T>
  T At(std::size_t offset) const {
    T value;
    std::memcpy(&value, record_ + offset, sizeof value);
    return value;
  }
  std::string TextAt(std::size_t offset) const { return At<const char*>(offset); }

  void* handle_ = nullptr;
  const unsigned char* record_ = nullptr;
  std::uintptr_t (*get_plugin_)() = nullptr;
  void (*delete_me_)() = nullptr;
};

TEST_F(EntryPointsTest, RecordHoldsEveryFieldAtItsOffset) {
  EXPECT_EQ(dlsym(handle_, "exports") != nullptr, true);
  EXPECT_EQ(At<std::int32_t>(0), 95);
  EXPECT_EQ(At<std::int32_t>(4), 0);
  EXPECT_FALSE(TextAt(8).empty());  // the source path: informational
  EXPECT_EQ(TextAt(16), "TallyLoomMMR");
  EXPECT_EQ(TextAt(24),
            "TallyLoom ranked sync with automatic export, menu settings, and per-match MMR "
            "tracking");
  EXPECT_EQ(TextAt(32), kPluginVersion);
  EXPECT_EQ(At<std::uint64_t>(40), 0u);
  EXPECT_EQ(At<void*>(48), reinterpret_cast<void*>(get_plugin_));
  EXPECT_EQ(At<void*>(56), reinterpret_cast<void*>(delete_me_));
}

TEST_F(EntryPointsTest, GetPluginCreatesOneObjectAndHandsOutItsHolder) {
  const std::uintptr_t first = get_plugin_();
  const std::uintptr_t second = get_plugin_();
  EXPECT_EQ(first, second);
  auto* holder = reinterpret_cast<std::shared_ptr<void>*>(first);
  ASSERT_TRUE(*holder);
  void* object = holder->get();
  EXPECT_EQ(holder->use_count(), 1);
  get_plugin_();
  EXPECT_EQ(holder->get(), object);  // no second object
}

TEST_F(EntryPointsTest, DeleteMeEmptiesTheHolderAndTolleratesRepeats) {
  delete_me_();  // before any getPlugin of this test: nothing to do
  auto* holder = reinterpret_cast<std::shared_ptr<void>*>(get_plugin_());
  ASSERT_TRUE(*holder);
  delete_me_();
  EXPECT_FALSE(*holder);
  delete_me_();
  EXPECT_FALSE(*holder);
  // A new object can be made afterwards, in the same holder.
  EXPECT_EQ(reinterpret_cast<std::shared_ptr<void>*>(get_plugin_()), holder);
  EXPECT_TRUE(*holder);
}

TEST_F(EntryPointsTest, OnlyThePluginInterfaceIsVisible) {
  // The plugin keeps its copies of Dear ImGui and its own code private.
  EXPECT_EQ(dlsym(handle_, "_ZN5ImGui16SetCurrentContextEP12ImGuiContext"), nullptr);
  EXPECT_EQ(dlsym(handle_, "_ZN12TallyLoomMMR6onLoadEv"), nullptr);
}

}  // namespace
