// A fixed set of worker threads draining one FIFO of tasks.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zorvik::bridge {

class TaskQueue {
 public:
  explicit TaskQueue(unsigned threads);
  ~TaskQueue();  // finishes queued tasks, then joins
  TaskQueue(const TaskQueue&) = delete;
  TaskQueue& operator=(const TaskQueue&) = delete;

  // Any thread.
  void post(std::function<void()> task);

 private:
  void work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace zorvik::bridge
