// The one user-interface thread of the window. Every operation of the module runs on it,
// one at a time, in the order it was queued; other threads (the window server's) only
// queue work for it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace larkedi::ui {

class UiLoop {
 public:
  using Task = std::function<void()>;

  UiLoop() = default;
  UiLoop(const UiLoop&) = delete;
  UiLoop& operator=(const UiLoop&) = delete;

  /// Queues a task (any thread). Tasks run in the order they were queued.
  void Post(Task task);
  /// Queues a user input (any thread). While an operation runs the window takes no
  /// input: the input is dropped and false returned. A queued input is dropped as well
  /// when it would run inside a running operation (a nested loop). An `exclusive` input
  /// (a click) is also dropped when another exclusive input's operation started after it
  /// was queued, so a double click never runs an operation twice; key strokes are not
  /// exclusive, since the browser sends several for one key at the same moment.
  /// `on_drop`, when given, is queued as an ordinary task when the input is dropped, so
  /// the page can be shown again the state the module kept.
  bool PostInput(Task task, bool exclusive = true, Task on_drop = nullptr);
  /// Makes Run() return and every nested wait give up (any thread).
  void Quit();
  bool quitting() const { return quit_.load(); }

  /// Runs at most one queued task, waiting up to `wait` for one. True when a task was
  /// taken from the queue (run or dropped).
  bool RunOnce(std::chrono::milliseconds wait);
  /// Runs tasks until Quit().
  void Run();
  /// Lets pending window messages run: everything queued now, without waiting.
  void PumpMessages();
  /// A nested loop: runs tasks until `done()` is true. False when the loop was told to
  /// quit before that.
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds slice = std::chrono::milliseconds(50));
  /// Wakes a waiting RunOnce/RunUntil so it checks its condition again (any thread).
  void Wake();

  /// True while a task (an operation) runs.
  bool Busy() const { return depth_.load() > 0; }
  /// Inputs dropped so far.
  std::size_t dropped_inputs() const { return dropped_.load(); }

 private:
  struct Item {
    Task task;
    bool input = false;
    bool exclusive = false;
    std::uint64_t input_generation = 0;
    Task on_drop;  // inputs only: queued when the input is dropped
  };

  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Item> queue_;
  std::uint64_t input_generation_ = 0;  // exclusive inputs started (guarded by mu_)
  bool woken_ = false;                  // guarded by mu_
  std::atomic<int> depth_{0};
  std::atomic<bool> quit_{false};
  std::atomic<std::size_t> dropped_{0};
};

}  // namespace larkedi::ui
