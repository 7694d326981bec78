// A share of a creation step run on a second thread while the calling thread does the rest:
// merging and overviews split their files between the two, so each file is still written
// by one thread, in the same order as by one thread alone.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class CCreationWorker {
 public:
  // Starts `task` on a second thread. The task should return soon once `stop` is set.
  explicit CCreationWorker(std::function<void(const std::atomic<bool>& stop)> task);
  // Stops the task and waits for it.
  ~CCreationWorker();
  CCreationWorker(const CCreationWorker&) = delete;
  CCreationWorker& operator=(const CCreationWorker&) = delete;

  // Waits for the task, pumping the message queue meanwhile; a cancel flag set during the
  // wait stops the task. An exception the task threw is thrown here.
  void Finish(const int* cancel);
  // Asks the task to stop early.
  void Stop() { m_Stop = true; }

 private:
  std::function<void(const std::atomic<bool>&)> m_Task;
  std::atomic<bool> m_Stop{false};
  std::mutex m_Mutex;
  std::condition_variable m_Done;
  bool m_Finished = false;
  std::exception_ptr m_Failure;
  std::thread m_Thread;
};
