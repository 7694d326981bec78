// Batches of input points, filled a few batches ahead on a worker thread while the calling
// thread stores the previous ones, or filled on the calling thread when it is to work alone.
// Batches reach the caller in the order they were filled, so what the caller does with them
// does not depend on the thread that filled them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// One input point as gridding stores it: its records.
struct SGriddedPoint {
  float xyz[3];  // local frame
  float intensity;
  uint8_t rgb[3];
  uint8_t classification;
  uint8_t pulseKind;
};

struct SPointBatch {
  std::vector<SGriddedPoint> points;
  int64_t read = 0;     // records read from the input for this batch
  int64_t dropped = 0;  // points that cannot be converted to the stream's frame
  bool last = false;    // the input ended (or failed) with this batch
};

class CPointBatches {
 public:
  // `fill` empties and fills one batch; it runs on the worker when `worker` is true, and is
  // never run again after it marked a batch as the last.
  CPointBatches(std::function<void(SPointBatch&)> fill, bool worker);
  ~CPointBatches();
  CPointBatches(const CPointBatches&) = delete;
  CPointBatches& operator=(const CPointBatches&) = delete;

  // The next batch, valid until the next call; null after the last one. An exception `fill`
  // threw on the worker is thrown here.
  const SPointBatch* Next();
  // Ends the worker (early, on cancel or failure, or after the last batch); `fill` is not
  // run after this returns.
  void Stop();

 private:
  void Work();

  std::function<void(SPointBatch&)> m_Fill;
  std::vector<SPointBatch> m_Batches;
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  uint64_t m_Filled = 0;    // batches the worker published
  uint64_t m_Consumed = 0;  // batches the caller is done with
  bool m_Finished = false;  // the worker published its last batch
  bool m_Stopping = false;
  bool m_Holding = false;  // the caller holds batch m_Consumed
  bool m_Ended = false;    // the caller received the last batch
  std::exception_ptr m_Failure;
  std::thread m_Worker;
};
