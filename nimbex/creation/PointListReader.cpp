#include "nimbex/creation/PointListReader.h"

#include <algorithm>
#include <fstream>
#include <vector>

namespace {

class CPointListReader : public SPreader {
 public:
  explicit CPointListReader(std::vector<std::unique_ptr<SPreader>> readers)
      : m_Readers(std::move(readers)) {}

  int64_t GetPointCount() const override {
    int64_t count = 0;
    for (const auto& reader : m_Readers) count += reader->GetPointCount();
    return count;
  }

  int Read(SPoint& point) override {
    while (m_Current < m_Readers.size()) {
      const int result = m_Readers[m_Current]->Read(point);
      if (result != SP_END) return result;
      ++m_Current;
    }
    return SP_END;
  }

  // The union of the declared boxes; none when any file declares none.
  bool GetHeaderBounds(double bounds[6]) const override {
    for (size_t i = 0; i < m_Readers.size(); ++i) {
      double box[6];
      if (!m_Readers[i]->GetHeaderBounds(box)) return false;
      Widen(bounds, box, i == 0);
    }
    return !m_Readers.empty();
  }

  bool Scan(double bounds[6], int64_t& count, const std::function<void()>& pump,
            const int* cancel) override {
    count = 0;
    for (size_t i = 0; i < m_Readers.size(); ++i) {
      double box[6];
      int64_t points = 0;
      if (!m_Readers[i]->Scan(box, points, pump, cancel)) return Failed(i);
      if (points > 0) Widen(bounds, box, count == 0);
      count += points;
    }
    return Rewind();
  }

  bool Rewind() override {
    for (size_t i = 0; i < m_Readers.size(); ++i)
      if (!m_Readers[i]->Rewind()) return Failed(i);
    m_Current = 0;
    return true;
  }

  const std::string& GetError() const override { return m_Error; }

  int64_t GetSkippedCount() const override {
    int64_t skipped = 0;
    for (const auto& reader : m_Readers) skipped += reader->GetSkippedCount();
    return skipped;
  }

 private:
  static void Widen(double bounds[6], const double box[6], bool first) {
    for (int d = 0; d < 3; ++d) {
      bounds[2 * d] = first ? box[2 * d] : std::min(bounds[2 * d], box[2 * d]);
      bounds[2 * d + 1] = first ? box[2 * d + 1] : std::max(bounds[2 * d + 1], box[2 * d + 1]);
    }
  }

  bool Failed(size_t reader) {
    m_Error = m_Readers[reader]->GetError();
    return false;
  }

  std::vector<std::unique_ptr<SPreader>> m_Readers;
  size_t m_Current = 0;
  std::string m_Error;
};

}  // namespace

std::unique_ptr<SPreader> OpenPointListReader(const std::string& listFile,
                                              const std::string& format,
                                              const std::string& parseString, std::string& error) {
  std::ifstream list(listFile);
  if (!list) {
    error = "cannot open the list of input files " + listFile;
    return nullptr;
  }
  std::vector<std::unique_ptr<SPreader>> readers;
  std::string line;
  while (std::getline(list, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    auto reader = OpenPointReader(line, format, parseString, error);
    if (!reader) return nullptr;
    readers.push_back(std::move(reader));
  }
  if (readers.empty()) {
    error = "the list of input files " + listFile + " names no file";
    return nullptr;
  }
  return std::make_unique<CPointListReader>(std::move(readers));
}
