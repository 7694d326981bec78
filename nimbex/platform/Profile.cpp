#include "nimbex/platform/Profile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#include "nimbex/platform/TextFiles.h"

namespace fs = std::filesystem;

namespace {

const char kBlanks[] = " \t\r";
const char kByteOrderMark[] = "\xEF\xBB\xBF";

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// ASCII folding only: the result must not depend on the user's locale.
char FoldCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldCase(x) == FoldCase(y);
         });
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool HasLineBreakOrNul(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

bool IsStorableName(const std::string& name) {
  return !name.empty() && name.size() <= CProfile::kMaxNameLength && !HasLineBreakOrNul(name);
}

bool IsStorable(const std::string& section, const std::string& key, const std::string& value) {
  return IsStorableName(section) && section.find(']') == std::string::npos && IsStorableName(key) &&
         key.find('=') == std::string::npos && key[0] != ';' && key[0] != '[' &&
         value.size() <= CProfile::kMaxValueLength && !HasLineBreakOrNul(value);
}

// std::from_chars, unlike atoi and strtod, takes no leading '+'.
const char* SkipPlusSign(const char* begin, const char* end) {
  bool plusThenNumber = end - begin >= 2 && begin[0] == '+' &&
                        (std::isdigit(static_cast<unsigned char>(begin[1])) || begin[1] == '.');
  return plusThenNumber ? begin + 1 : begin;
}

bool ParseLeadingInt(const std::string& text, int& result) {
  const char* end = text.data() + text.size();
  const char* begin = SkipPlusSign(text.data(), end);
  long long value = 0;
  auto [next, error] = std::from_chars(begin, end, value);
  if (error == std::errc::invalid_argument) return false;
  if (error == std::errc::result_out_of_range) value = *begin == '-' ? LLONG_MIN : LLONG_MAX;
  result = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
  return true;
}

bool ParseLeadingDouble(const std::string& text, double& result) {
  const char* end = text.data() + text.size();
  double value = 0;
  auto [next, error] = std::from_chars(SkipPlusSign(text.data(), end), end, value);
  if (error != std::errc()) return false;
  result = value;
  return true;
}

// "%lf" drops everything past six decimals, so it is used only when it loses nothing.
std::string FormatDouble(double value) {
  char buffer[64];
  if (std::fabs(value) < 1e15) {
    auto fixed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    double readBack = 0;
    std::from_chars(buffer, fixed.ptr, readBack);
    if (readBack == value) return std::string(buffer, fixed.ptr);
  }
  auto shortest = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, shortest.ptr);
}

}  // namespace

int CProfile::Load(const fs::path& path) {
  m_Lines.clear();
  m_Crlf = m_ByteOrderMark = false;
  std::string data;
  if (!ReadRegularFile(path, data, kMaxFileSize)) return 0;
  Parse(std::move(data));
  return 1;
}

void CProfile::Parse(std::string data) {
  m_ByteOrderMark = StartsWith(data, kByteOrderMark);
  if (m_ByteOrderMark) data.erase(0, std::strlen(kByteOrderMark));
  // The first line decides, a last line without its LF included.
  size_t firstBreak = std::min(data.find('\n'), data.size());
  m_Crlf = firstBreak > 0 && data[firstBreak - 1] == '\r';

  bool inSection = false;
  for (size_t start = 0; start < data.size();) {
    size_t stop = std::min(data.find('\n', start), data.size());
    Line line;
    line.text = data.substr(start, stop - start);
    // In a file of LF lines a stray CR stays part of its line, so it is written back.
    if (m_Crlf && !line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    start = stop + 1;

    std::string trimmed = Trim(line.text);
    size_t equals = line.text.find('=');
    if (StartsWith(trimmed, "[")) {
      line.kind = LineKind::Header;
      line.name = Trim(trimmed.substr(1, trimmed.find(']') - 1));
      inSection = true;
    } else if (inSection && !StartsWith(trimmed, ";") && equals != std::string::npos &&
               !Trim(line.text.substr(0, equals)).empty()) {
      line.kind = LineKind::Entry;
      line.name = Trim(line.text.substr(0, equals));
      line.value = Trim(line.text.substr(equals + 1));
    }
    // Anything else (comments, blank lines, lines before the first section, lines
    // without '=') is kept as it is and never read as a setting.
    m_Lines.push_back(std::move(line));
  }
}

int CProfile::Save(const fs::path& path, bool durable) const {
  std::string text = Serialise();
  // A file that Load would refuse is not written in the first place.
  if (text.size() > kMaxFileSize) return 0;
  return ReplaceFile(path, text, durable) ? 1 : 0;
}

std::string CProfile::Serialise() const {
  std::string text = m_ByteOrderMark ? kByteOrderMark : "";
  for (const Line& line : m_Lines) text += line.text + (m_Crlf ? "\r\n" : "\n");
  return text;
}

size_t CProfile::FindSection(const std::string& section) const {
  std::string name = Trim(section);
  for (size_t i = 0; i < m_Lines.size(); ++i)
    if (m_Lines[i].kind == LineKind::Header && EqualNoCase(m_Lines[i].name, name)) return i;
  return std::string::npos;
}

size_t CProfile::SectionEnd(size_t header) const {
  size_t end = header + 1;
  while (end < m_Lines.size() && m_Lines[end].kind != LineKind::Header) ++end;
  return end;
}

size_t CProfile::FindKey(size_t header, const std::string& key) const {
  std::string name = Trim(key);
  size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i)
    if (m_Lines[i].kind == LineKind::Entry && EqualNoCase(m_Lines[i].name, name)) return i;
  return std::string::npos;
}

std::string CProfile::GetString(const std::string& section, const std::string& key,
                                const std::string& def) const {
  size_t header = FindSection(section);
  if (header == std::string::npos) return def;
  size_t entry = FindKey(header, key);
  return entry == std::string::npos ? def : m_Lines[entry].value;
}

int CProfile::GetInt(const std::string& section, const std::string& key, int def) const {
  int value = def;
  return ParseLeadingInt(GetString(section, key, ""), value) ? value : def;
}

double CProfile::GetDouble(const std::string& section, const std::string& key, double def) const {
  double value = def;
  return ParseLeadingDouble(GetString(section, key, ""), value) ? value : def;
}

int CProfile::SetString(const std::string& section, const std::string& key,
                        const std::string& value) {
  std::string sectionName = Trim(section), keyName = Trim(key);
  if (!IsStorable(sectionName, keyName, value)) return 0;
  size_t header = FindSection(sectionName);
  size_t entry = header == std::string::npos ? header : FindKey(header, keyName);
  if (entry == std::string::npos) {
    AddEntry(sectionName, keyName, value);
  } else {
    Line& line = m_Lines[entry];
    line.text = line.name + "=" + value;
    line.value = Trim(value);
  }
  return 1;
}

void CProfile::AddEntry(const std::string& section, const std::string& key,
                        const std::string& value) {
  Line entry{LineKind::Entry, key + "=" + value, key, Trim(value)};
  size_t header = FindSection(section);
  if (header == std::string::npos) {
    if (!m_Lines.empty() && !Trim(m_Lines.back().text).empty()) m_Lines.push_back({});
    m_Lines.push_back({LineKind::Header, "[" + section + "]", section, ""});
    m_Lines.push_back(std::move(entry));
    return;
  }
  // After the section's last non-blank line, so blank lines keep separating sections.
  size_t position = SectionEnd(header);
  while (position > header + 1 && Trim(m_Lines[position - 1].text).empty()) --position;
  m_Lines.insert(m_Lines.begin() + static_cast<std::ptrdiff_t>(position), std::move(entry));
}

int CProfile::SetInt(const std::string& section, const std::string& key, int value) {
  return SetString(section, key, std::to_string(value));
}

int CProfile::SetDouble(const std::string& section, const std::string& key, double value) {
  if (!std::isfinite(value)) return 0;
  return SetString(section, key, FormatDouble(value));
}

int CProfile::RemoveKey(const std::string& section, const std::string& key) {
  size_t header = FindSection(section);
  if (header == std::string::npos) return 0;
  std::string name = Trim(key);
  auto first = m_Lines.begin() + static_cast<std::ptrdiff_t>(header + 1);
  auto last = m_Lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(header));
  auto kept = std::remove_if(first, last, [&](const Line& line) {
    return line.kind == LineKind::Entry && EqualNoCase(line.name, name);
  });
  if (kept == last) return 0;
  m_Lines.erase(kept, last);
  return 1;
}

// Every section of that name goes, so none of its keys can still be read afterwards.
int CProfile::RemoveSection(const std::string& section) {
  std::string name = Trim(section);
  std::vector<Line> kept;
  bool removing = false;
  for (Line& line : m_Lines) {
    if (line.kind == LineKind::Header) removing = EqualNoCase(line.name, name);
    if (!removing) kept.push_back(std::move(line));
  }
  bool removed = kept.size() != m_Lines.size();
  m_Lines = std::move(kept);
  return removed ? 1 : 0;
}

unsigned long GetPrivateProfileString(const char* section, const char* key, const char* def,
                                      char* out, unsigned long size, const char* file) {
  if (out == nullptr || size == 0) return 0;
  std::string value;
  if (section != nullptr && key != nullptr) {
    CProfile profile;
    if (file != nullptr) profile.Load(file);
    value = profile.GetString(section, key, def != nullptr ? def : "");
  }
  size_t copied = std::min<size_t>(value.size(), size - 1);
  std::memcpy(out, value.data(), copied);
  out[copied] = '\0';
  return static_cast<unsigned long>(copied);
}

int WritePrivateProfileString(const char* section, const char* key, const char* value,
                              const char* file) {
  if (section == nullptr || file == nullptr) return 0;
  fs::path path(file);
  CProfile profile;
  std::error_code error;
  // Rewriting a file that could not be read would throw its settings away.
  if (!profile.Load(path) && fs::symlink_status(path, error).type() != fs::file_type::not_found)
    return 0;
  if (key == nullptr) return profile.RemoveSection(section) ? profile.Save(path) : 1;
  if (value == nullptr) return profile.RemoveKey(section, key) ? profile.Save(path) : 1;
  return profile.SetString(section, key, value) && profile.Save(path);
}
