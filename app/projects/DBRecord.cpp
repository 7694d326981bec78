#include "DBRecord.h"

namespace {

const char* const kProjectColumns[] = {
    "name",       "path",       "creation_date", "open_data_time", "thumb_path", "open_times",
    "num_points", "num_images", "view_pov",      "view_link",      "id"};

std::string Quoted(const std::string& text) {
  return "'" + EscapeSqlText(text) + "'";
}

std::string Quoted(int value) {
  return "'" + std::to_string(value) + "'";
}

// The ten value fields in column order, as text pointers or integer pointers.
struct ProjectField {
  std::string* text;
  int* number;
  bool IsSet() const { return text ? !text->empty() : *number >= 0; }
  std::string Literal() const { return text ? Quoted(*text) : Quoted(*number); }
};

std::vector<ProjectField> ValueFields(CDBRecordProject& r) {
  return {{&r.name, nullptr},           {&r.path, nullptr},       {&r.creation_date, nullptr},
          {&r.open_data_time, nullptr}, {&r.thumb_path, nullptr}, {nullptr, &r.open_times},
          {nullptr, &r.num_points},     {nullptr, &r.num_images}, {nullptr, &r.view_pov},
          {nullptr, &r.view_link}};
}

constexpr int kIdColumn = 10;

}  // namespace

std::string EscapeSqlText(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    escaped += c;
    if (c == '\'') escaped += '\'';
  }
  return escaped;
}

std::string CDBRecord::GetColumnName(int index) const {
  if (index < 0 || index >= GetColumnCount()) return std::string();
  return m_ColumnNames[index];
}

void CDBRecord::CopyFrom(const CDBRecord& other) {
  m_ColumnNames = other.m_ColumnNames;
  m_TableName = other.m_TableName;
}

int CDBRecord::ResetColumnNames() {
  m_ColumnNames.clear();
  return 0;
}

CDBRecordProject::CDBRecordProject() {
  m_TableName = "project";
  ResetColumnNames();
}

int CDBRecordProject::ResetColumnNames() {
  m_ColumnNames.assign(std::begin(kProjectColumns), std::end(kProjectColumns));
  return 1;
}

std::string CDBRecordProject::BuildSelect(const std::vector<int>& orFlags) {
  std::string sql = "select * from " + m_TableName;
  std::vector<ProjectField> fields = ValueFields(*this);
  fields.push_back({nullptr, &id});
  bool first = true;
  for (size_t column = 0; column < fields.size(); ++column) {
    if (!fields[column].IsSet()) continue;
    if (first)
      sql += " where ";
    else if (column < orFlags.size() && orFlags[column])
      sql += " or ";
    else
      sql += " and ";
    first = false;
    sql += GetColumnName(static_cast<int>(column)) + " = " + fields[column].Literal();
  }
  return sql + ";";
}

std::string CDBRecordProject::BuildInsert() {
  std::string columns;
  std::string values;
  const std::vector<ProjectField> fields = ValueFields(*this);
  for (size_t column = 0; column < fields.size(); ++column) {
    const char* separator = column ? "," : "";
    columns += separator + Quoted(GetColumnName(static_cast<int>(column)));
    values += separator + fields[column].Literal();
  }
  return "insert into " + m_TableName + " (" + columns + ") values (" + values + ");";
}

std::string CDBRecordProject::BuildUpdate() {
  if (id < 0) return std::string();
  std::string assignments;
  const std::vector<ProjectField> fields = ValueFields(*this);
  for (size_t column = 0; column < fields.size(); ++column) {
    if (!fields[column].IsSet()) continue;
    assignments += " " + Quoted(GetColumnName(static_cast<int>(column))) + " = " +
                   fields[column].Literal() + ",";
  }
  // With nothing to assign the statement would not parse; there is nothing to update.
  if (assignments.empty()) return std::string();
  assignments.back() = ' ';
  return "update " + m_TableName + " set " + assignments + " where " + GetColumnName(kIdColumn) +
         " = " + std::to_string(id) + ";";
}

std::string CDBRecordProject::BuildDelete() {
  if (id < 0) return std::string();
  return "delete from " + m_TableName + " where id = " + std::to_string(id);
}

void CDBRecordProject::CopyFrom(const CDBRecord& other) {
  CDBRecord::CopyFrom(other);
  const auto* project = dynamic_cast<const CDBRecordProject*>(&other);
  if (!project) return;
  name = project->name;
  path = project->path;
  creation_date = project->creation_date;
  open_data_time = project->open_data_time;
  thumb_path = project->thumb_path;
  open_times = project->open_times;
  num_points = project->num_points;
  num_images = project->num_images;
  view_pov = project->view_pov;
  view_link = project->view_link;
  id = project->id;
}
