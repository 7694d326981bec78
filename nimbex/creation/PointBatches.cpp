#include "nimbex/creation/PointBatches.h"

namespace {

// Batches in flight: the caller's, the worker's and two ready ones.
constexpr size_t kBatchCount = 4;

}  // namespace

CPointBatches::CPointBatches(std::function<void(SPointBatch&)> fill, bool worker)
    : m_Fill(std::move(fill)), m_Batches(worker ? kBatchCount : 1) {
  if (worker) m_Worker = std::thread(&CPointBatches::Work, this);
}

CPointBatches::~CPointBatches() {
  Stop();
}

void CPointBatches::Stop() {
  if (!m_Worker.joinable()) {
    m_Ended = true;
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Stopping = true;
  }
  m_Changed.notify_all();
  m_Worker.join();
  m_Ended = true;
}

void CPointBatches::Work() {
  try {
    for (bool last = false; !last;) {
      SPointBatch* batch;
      {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Changed.wait(lock,
                       [this] { return m_Stopping || m_Filled - m_Consumed < m_Batches.size(); });
        if (m_Stopping) break;
        batch = &m_Batches[m_Filled % m_Batches.size()];
      }
      m_Fill(*batch);
      last = batch->last;
      {
        std::lock_guard<std::mutex> lock(m_Mutex);
        ++m_Filled;
      }
      m_Changed.notify_all();
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Failure = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Finished = true;
  }
  m_Changed.notify_all();
}

const SPointBatch* CPointBatches::Next() {
  if (m_Ended) return nullptr;
  if (!m_Worker.joinable()) {
    SPointBatch& batch = m_Batches.front();
    m_Fill(batch);
    m_Ended = batch.last;
    return &batch;
  }
  std::unique_lock<std::mutex> lock(m_Mutex);
  if (m_Holding) {
    m_Holding = false;
    ++m_Consumed;
    m_Changed.notify_all();
  }
  m_Changed.wait(lock, [this] { return m_Filled > m_Consumed || m_Finished; });
  if (m_Filled == m_Consumed) {
    m_Ended = true;
    if (m_Failure) std::rethrow_exception(m_Failure);
    return nullptr;
  }
  m_Holding = true;
  const SPointBatch& batch = m_Batches[m_Consumed % m_Batches.size()];
  m_Ended = batch.last;
  return &batch;
}
