// The simulated host's rule for sessions that draw on a second thread: only the
// game thread may call the game, and GameWrapper::Execute is how other threads
// hand it work.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "bakkesmod/wrappers/GameWrapper.h"
#include "bakkesmod/wrappers/cvarmanagerwrapper.h"
#include "sdk/model/GameThread.h"
#include "sdk/model/HostModel.h"

namespace {

class GameThreadRuleTest : public ::testing::Test {
 protected:
  GameThreadRuleTest() : model_(&clock_) {}
  ~GameThreadRuleTest() override { sdkhost::StopEnforcingGameThread(); }

  platform::VirtualClock clock_;
  sdkhost::HostModel model_;
};

using GameThreadRuleDeathTest = GameThreadRuleTest;

TEST_F(GameThreadRuleDeathTest, AGameCallFromAnotherThreadEndsTheSessionNamingTheCall) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto game = model_.NewGameWrapper(1);
  EXPECT_EXIT(
      {
        sdkhost::EnforceGameThread();
        std::thread render([&] { game->GetUniqueID(); });
        render.join();
      },
      ::testing::ExitedWithCode(sdkhost::kOffGameThreadExitCode),
      "GameWrapper::GetUniqueID was called off the game thread");
  EXPECT_EXIT(
      {
        sdkhost::EnforceGameThread();
        std::thread render([&] { game->GetMMRWrapper(); });
        render.join();
      },
      ::testing::ExitedWithCode(sdkhost::kOffGameThreadExitCode), "GameWrapper::GetMMRWrapper");
}

TEST_F(GameThreadRuleTest, ConsoleWorkAndExecuteAreAllowedOnOtherThreads) {
  sdkhost::EnforceGameThread();
  auto game = model_.NewGameWrapper(1);
  auto console = model_.NewCVarManager(1);
  console->registerCvar("some_switch", "1", "", true, true, 0, true, 1, true);
  std::vector<std::string> lines;
  model_.console().SetLogSink([&](const std::string& line) { lines.push_back(line); });

  std::vector<int> order;
  std::thread render([&] {
    console->getCvar("some_switch").setValue(0);
    console->log("from the render thread");
    game->Execute([&](GameWrapper* g) {
      order.push_back(1);
      g->IsInFreeplay();  // the game thread may ask the game
    });
    game->Execute([&](GameWrapper*) { order.push_back(2); });
  });
  render.join();

  EXPECT_EQ(model_.console().CvarValue("some_switch"), "0");
  EXPECT_EQ(lines, std::vector<std::string>{"from the render thread"});
  // Nothing runs until the game thread takes the work, then it runs in order,
  // before virtual time moves.
  EXPECT_TRUE(order.empty());
  model_.time().Advance(1);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

}  // namespace
