#include "platform/ui/ui_loop.h"

#include <utility>

namespace larkedi::ui {

void UiLoop::Post(Task task) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    queue_.push_back(Item{std::move(task), false, false, 0, {}});
  }
  cv_.notify_all();
}

bool UiLoop::PostInput(Task task, bool exclusive, Task on_drop) {
  if (Busy()) {
    ++dropped_;
    if (on_drop) Post(std::move(on_drop));
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    queue_.push_back(Item{std::move(task), true, exclusive, input_generation_, std::move(on_drop)});
  }
  cv_.notify_all();
  return true;
}

void UiLoop::Quit() {
  quit_ = true;
  Wake();
}

void UiLoop::Wake() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    woken_ = true;
  }
  cv_.notify_all();
}

bool UiLoop::RunOnce(std::chrono::milliseconds wait) {
  Item item;
  {
    std::unique_lock<std::mutex> lock(mu_);
    if (queue_.empty()) {
      cv_.wait_for(lock, wait, [&] { return !queue_.empty() || woken_ || quit_.load(); });
    }
    woken_ = false;
    if (queue_.empty()) return false;
    item = std::move(queue_.front());
    queue_.pop_front();
    if (item.input) {
      // An input runs only as an operation of its own; a click only when no other
      // click's operation began after it was queued.
      if (depth_.load() > 0 || (item.exclusive && item.input_generation != input_generation_)) {
        ++dropped_;
        if (item.on_drop) queue_.push_back(Item{std::move(item.on_drop), false, false, 0, {}});
        return true;
      }
      if (item.exclusive) ++input_generation_;
    }
  }
  ++depth_;
  if (item.task) item.task();
  --depth_;
  return true;
}

void UiLoop::Run() {
  while (!quit_.load()) RunOnce(std::chrono::milliseconds(200));
}

void UiLoop::PumpMessages() {
  std::size_t pending;
  {
    std::lock_guard<std::mutex> lock(mu_);
    pending = queue_.size();
  }
  // Only what was queued when the pump began: a task that queues another cannot keep
  // the caller here for ever.
  for (std::size_t i = 0; i < pending; ++i) {
    if (!RunOnce(std::chrono::milliseconds(0))) break;
  }
}

bool UiLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds slice) {
  while (!done()) {
    if (quit_.load()) return false;
    RunOnce(slice);
  }
  return true;
}

}  // namespace larkedi::ui
