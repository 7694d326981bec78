// Records of the project database. A record knows its table and column names and builds
// the four statements the program uses from its own field values: select with a filter of
// the fields that are set, insert, update by id and delete by id. Texts are stored and
// compared exactly as given: Linux file names are case-sensitive.
#pragma once

#include <string>
#include <vector>

class CDBRecord {
 public:
  virtual ~CDBRecord() = default;

  // The column name at `index`; an empty text for an index outside the list.
  virtual std::string GetColumnName(int index) const;
  // Conditions on the fields that are set are joined with " and ", or with " or " for a
  // column whose entry in `orFlags` is non-zero.
  virtual std::string BuildSelect(const std::vector<int>& orFlags = {}) = 0;
  virtual std::string BuildInsert() = 0;
  // An empty text when the record cannot be updated.
  virtual std::string BuildUpdate() = 0;
  // An empty text when the record has no id.
  virtual std::string BuildDelete() = 0;
  virtual void CopyFrom(const CDBRecord& other);
  virtual int ResetColumnNames();

  const std::string& GetTableName() const { return m_TableName; }
  int GetColumnCount() const { return static_cast<int>(m_ColumnNames.size()); }

 protected:
  std::vector<std::string> m_ColumnNames;
  std::string m_TableName;
};

// One row of the "project" table; column order name … view_link, id.
class CDBRecordProject : public CDBRecord {
 public:
  CDBRecordProject();

  std::string BuildSelect(const std::vector<int>& orFlags = {}) override;
  std::string BuildInsert() override;
  std::string BuildUpdate() override;
  std::string BuildDelete() override;
  void CopyFrom(const CDBRecord& other) override;
  int ResetColumnNames() override;

  std::string name;
  std::string path;
  std::string creation_date;
  std::string open_data_time;
  std::string thumb_path;
  int open_times = -1;
  int num_points = -1;
  int num_images = -1;
  int view_pov = -1;
  int view_link = -1;
  int id = -1;
};

// Text as an SQL literal body: every apostrophe doubled, so that a value such as a folder
// named o'brien stays inside its quotes.
std::string EscapeSqlText(const std::string& text);
