#include "nimbex/creation/CreationWorker.h"

#include <chrono>

#include "nimbex/platform/Hooks.h"

namespace {

// How often the calling thread pumps messages while it waits for the worker.
constexpr std::chrono::milliseconds kPumpInterval(50);

}  // namespace

CCreationWorker::CCreationWorker(std::function<void(const std::atomic<bool>&)> task)
    : m_Task(std::move(task)) {
  m_Thread = std::thread([this] {
    try {
      m_Task(m_Stop);
    } catch (...) {
      m_Failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Finished = true;
    m_Done.notify_all();
  });
}

CCreationWorker::~CCreationWorker() {
  m_Stop = true;
  if (m_Thread.joinable()) m_Thread.join();
}

void CCreationWorker::Finish(const int* cancel) {
  if (!m_Thread.joinable()) return;
  std::unique_lock<std::mutex> lock(m_Mutex);
  while (!m_Done.wait_for(lock, kPumpInterval, [this] { return m_Finished; })) {
    lock.unlock();
    PumpMsgs();
    if (cancel && *cancel) m_Stop = true;
    lock.lock();
  }
  lock.unlock();
  m_Thread.join();
  if (m_Failure) std::rethrow_exception(m_Failure);
}
