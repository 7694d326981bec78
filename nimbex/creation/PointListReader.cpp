#include "nimbex/creation/PointListReader.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <vector>

namespace {

// One listed file, as its header described it when the list was opened.
struct SMember {
  std::string path;
  int64_t pointCount = 0;
  bool declaresBox = false;
  double box[6] = {0, 0, 0, 0, 0, 0};
  int64_t skipped = 0;
};

// The listed files are opened one at a time, so that a list of thousands of tiles needs one
// file descriptor and one read block, whatever its length.
class CPointListReader : public SPreader {
 public:
  CPointListReader(std::string format, std::string parseString)
      : m_Format(std::move(format)), m_ParseString(std::move(parseString)) {}

  // Reads the header of every file, one after the other. False with the reason in
  // GetError() when a file cannot be opened.
  bool Add(const std::string& path) {
    SMember member;
    member.path = path;
    std::unique_ptr<SPreader> reader = OpenMember(path);
    if (!reader) return false;
    member.pointCount = reader->GetPointCount();
    member.declaresBox = reader->GetHeaderBounds(member.box);
    m_Members.push_back(member);
    KeepWarnings(*reader);
    return true;
  }

  bool IsEmpty() const { return m_Members.empty(); }

  int64_t GetPointCount() const override {
    int64_t count = 0;
    for (const SMember& member : m_Members) count += member.pointCount;
    return count;
  }

  int Read(SPoint& point) override {
    while (m_Current < m_Members.size()) {
      if (!m_Reader && !(m_Reader = OpenMember(m_Members[m_Current].path))) return SP_END;
      const int result = m_Reader->Read(point);
      if (result != SP_END) return result;
      if (!CloseMember()) return SP_END;
      ++m_Current;
    }
    return SP_END;
  }

  // The union of the declared boxes; none when any file declares none.
  bool GetHeaderBounds(double bounds[6]) const override {
    for (size_t i = 0; i < m_Members.size(); ++i) {
      if (!m_Members[i].declaresBox) return false;
      Widen(bounds, m_Members[i].box, i == 0);
    }
    return !m_Members.empty();
  }

  bool Scan(double bounds[6], int64_t& count, const std::function<void()>& pump,
            const int* cancel) override {
    count = 0;
    if (!Rewind()) return false;
    for (m_Current = 0; m_Current < m_Members.size(); ++m_Current) {
      if (!(m_Reader = OpenMember(m_Members[m_Current].path))) return false;
      double box[6];
      int64_t points = 0;
      if (!m_Reader->Scan(box, points, pump, cancel)) {
        CloseMember();
        return false;
      }
      if (points > 0) Widen(bounds, box, count == 0);
      count += points;
      if (!CloseMember()) return false;
    }
    return Rewind();
  }

  bool Rewind() override {
    m_Reader.reset();
    m_Current = 0;
    return true;
  }

  const std::string& GetError() const override { return m_Error; }

  // Each file's skipped lines, counted once however many passes read it.
  int64_t GetSkippedCount() const override {
    int64_t skipped = 0;
    for (size_t i = 0; i < m_Members.size(); ++i)
      skipped += i == m_Current && m_Reader
                     ? std::max(m_Members[i].skipped, m_Reader->GetSkippedCount())
                     : m_Members[i].skipped;
    return skipped;
  }

  // The warnings of every listed file, each once; every reader names its file in them.
  const std::vector<std::string>& GetWarnings() const override { return m_Warnings; }

 private:
  static void Widen(double bounds[6], const double box[6], bool first) {
    for (int d = 0; d < 3; ++d) {
      bounds[2 * d] = first ? box[2 * d] : std::min(bounds[2 * d], box[2 * d]);
      bounds[2 * d + 1] = first ? box[2 * d + 1] : std::max(bounds[2 * d + 1], box[2 * d + 1]);
    }
  }

  std::unique_ptr<SPreader> OpenMember(const std::string& path) {
    std::string error;
    std::unique_ptr<SPreader> reader = OpenPointReader(path, m_Format, m_ParseString, error);
    if (!reader) m_Error = error;
    return reader;
  }

  // Keeps what the current file's reader learnt; false when it failed to read the file.
  bool CloseMember() {
    SMember& member = m_Members[m_Current];
    member.skipped = std::max(member.skipped, m_Reader->GetSkippedCount());
    KeepWarnings(*m_Reader);
    if (!m_Reader->GetError().empty()) m_Error = m_Reader->GetError();
    m_Reader.reset();
    return m_Error.empty();
  }

  void KeepWarnings(const SPreader& reader) {
    for (const std::string& warning : reader.GetWarnings())
      if (m_WarningSet.insert(warning).second) m_Warnings.push_back(warning);
  }

  std::string m_Format;
  std::string m_ParseString;
  std::vector<SMember> m_Members;
  size_t m_Current = 0;
  std::unique_ptr<SPreader> m_Reader;  // the open file, m_Members[m_Current]
  std::string m_Error;
  std::vector<std::string> m_Warnings;
  std::set<std::string> m_WarningSet;
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
  auto reader = std::make_unique<CPointListReader>(format, parseString);
  std::string line;
  while (std::getline(list, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    if (!reader->Add(line)) {
      error = reader->GetError();
      return nullptr;
    }
  }
  if (reader->IsEmpty()) {
    error = "the list of input files " + listFile + " names no file";
    return nullptr;
  }
  return reader;
}
