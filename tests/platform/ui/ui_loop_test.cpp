#include "platform/ui/ui_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace larkedi::ui {
namespace {

using std::chrono::milliseconds;

void Drain(UiLoop& loop) {
  while (loop.RunOnce(milliseconds(0))) {
  }
}

// A dropped input's follow-up is queued as an ordinary task, whether the input was refused
// on arrival or dropped when its turn came.
TEST(UiLoop, InputArrivingWhileAnOperationRunsIsDroppedAndItsFollowUpQueued) {
  UiLoop loop;
  int inputs = 0;
  bool accepted = true;
  std::vector<std::string> ran;
  loop.Post([&] {
    EXPECT_TRUE(loop.Busy());
    std::thread page([&] {
      accepted = loop.PostInput([&] { ++inputs; }, true, [&] { ran.push_back("restore 1"); });
    });
    page.join();
    // Letting messages run does not let the input in either.
    loop.PumpMessages();
    ran.push_back("operation end");
  });
  Drain(loop);
  EXPECT_FALSE(accepted);
  EXPECT_EQ(inputs, 0);
  EXPECT_EQ(loop.dropped_inputs(), 1u);
  EXPECT_FALSE(loop.Busy());

  // Two clicks queued together: the second is dropped when its turn comes.
  ASSERT_TRUE(loop.PostInput([&] { ++inputs; }, true, [&] { ran.push_back("restore 2"); }));
  ASSERT_TRUE(loop.PostInput([&] { ++inputs; }, true, [&] { ran.push_back("restore 3"); }));
  Drain(loop);
  EXPECT_EQ(inputs, 1);
  EXPECT_EQ(ran, (std::vector<std::string>{"restore 1", "operation end", "restore 3"}));
}

TEST(UiLoop, ADoubleClickQueuedBeforeTheFirstRunsOnlyOnce) {
  UiLoop loop;
  int clicks = 0;
  int keys = 0;
  ASSERT_TRUE(loop.PostInput([&] { ++clicks; }));
  ASSERT_TRUE(loop.PostInput([&] { ++clicks; }));
  Drain(loop);
  EXPECT_EQ(clicks, 1);
  // Key strokes the browser sends together are all delivered.
  ASSERT_TRUE(loop.PostInput([&] { ++keys; }, false));
  ASSERT_TRUE(loop.PostInput([&] { ++keys; }, false));
  Drain(loop);
  EXPECT_EQ(keys, 2);
  // A click after the first finished runs again.
  ASSERT_TRUE(loop.PostInput([&] { ++clicks; }));
  loop.RunOnce(milliseconds(0));
  EXPECT_EQ(clicks, 2);
}

TEST(UiLoop, AQueuedInputNeverRunsInsideAnotherOperation) {
  UiLoop loop;
  std::vector<std::string> ran;
  loop.Post([&] {
    ran.push_back("operation");
    loop.PumpMessages();
    ran.push_back("operation end");
  });
  ASSERT_TRUE(loop.PostInput([&] { ran.push_back("key"); }, false));
  loop.Post([&] { ran.push_back("timer"); });
  loop.RunOnce(milliseconds(0));
  EXPECT_EQ(ran, (std::vector<std::string>{"operation", "timer", "operation end"}));
}

// A task that queues another cannot keep a pump, and a quit ends a nested wait.
TEST(UiLoop, PumpMessagesRunsWhatWasQueuedAndAQuitEndsANestedWait) {
  UiLoop loop;
  int runs = 0;
  std::function<void()> again = [&] {
    ++runs;
    loop.Post(again);
  };
  loop.Post(again);
  loop.Post(again);
  loop.PumpMessages();
  EXPECT_EQ(runs, 2);

  std::thread quit([&] {
    std::this_thread::sleep_for(milliseconds(30));
    loop.Quit();
  });
  EXPECT_FALSE(loop.RunUntil([] { return false; }, milliseconds(10)));
  quit.join();
}

}  // namespace
}  // namespace larkedi::ui
