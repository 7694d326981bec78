#include "XMLSerializer.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "nimbex/platform/TextFiles.h"

namespace {

const char* const kTypeAttribute = "type";
const char* const kValueAttribute = "value";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char* SkipBlanks(const char* text) {
  while (IsBlank(*text)) ++text;
  return text;
}

// As atoi reads: leading blanks, a sign, the digits that follow; nothing else gives 0. A
// number beyond the range of int is held at its end.
int ReadLikeAtoi(const char* text) {
  text = SkipBlanks(text);
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  long long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// As "%lf" reads, with '.' as the decimal point whatever the locale; false for text that
// does not start with a finite number.
bool ReadLikeScanf(const char* text, double& value) {
  text = SkipBlanks(text);
  if (*text == '+' && text[1] != '-') ++text;
  double read = 0;
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, read);
  if (error != std::errc() || stop == text || !std::isfinite(read)) return false;
  value = read;
  return true;
}

std::string FormatFixed(double value, int decimals) {
  // Room for the 309 digits of the largest double, its sign, point and decimals.
  char buffer[400];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return error == std::errc() ? std::string(buffer, end) : std::string();
}

}  // namespace

CXMLSerializer::CXMLSerializer(const std::string& path, const std::string& rootName, bool create)
    : m_Path(path), m_RootName(rootName) {
  if (create) {
    m_Document.InsertEndChild(m_Document.NewDeclaration());
    m_Root = m_Document.NewElement(rootName.c_str());
    m_Document.InsertEndChild(m_Root);
    m_Usable = true;
    return;
  }
  std::string text;
  if (!ReadRegularFile(path, text, kMaxFileSize)) {
    m_Error =
        "it cannot be read as a file (missing, not a regular file, unreadable or larger "
        "than " +
        std::to_string(kMaxFileSize >> 20) + " MiB)";
    return;
  }
  if (m_Document.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
    m_Error = std::string("it is not well-formed XML (") + m_Document.ErrorStr() + ")";
    return;
  }
  m_Root = m_Document.RootElement();
  if (!m_Root || rootName != m_Root->Name()) {
    m_Error = "its root element is not \"" + rootName + "\"";
    m_Root = nullptr;
    return;
  }
  m_Usable = true;
}

void CXMLSerializer::IndexElements() {
  m_FirstByName.clear();
  m_ElementCount = 0;
  std::vector<tinyxml2::XMLElement*> pending{m_Root};
  while (!pending.empty()) {
    tinyxml2::XMLElement* element = pending.back();
    pending.pop_back();
    ++m_ElementCount;
    m_FirstByName.emplace(element->Name(), element);
    // Children go on the stack last first, so that the first is visited next.
    for (tinyxml2::XMLElement* child = element->LastChildElement(); child;
         child = child->PreviousSiblingElement())
      pending.push_back(child);
  }
  m_IndexValid = true;
}

size_t CXMLSerializer::CountElements() {
  if (!m_Usable) return 0;
  if (!m_IndexValid) IndexElements();
  return m_ElementCount;
}

tinyxml2::XMLElement* CXMLSerializer::FindSection(const std::string& section) {
  if (!m_Usable) return nullptr;
  if (section.empty()) return m_Root;
  if (!m_IndexValid) IndexElements();
  const auto found = m_FirstByName.find(section);
  return found == m_FirstByName.end() ? nullptr : found->second;
}

const tinyxml2::XMLElement* CXMLSerializer::FindValue(const std::string& key,
                                                      const std::string& section) {
  const tinyxml2::XMLElement* parent = FindSection(section);
  const tinyxml2::XMLElement* element = parent ? parent->FirstChildElement(key.c_str()) : nullptr;
  return element && element->Attribute(kValueAttribute) ? element : nullptr;
}

bool CXMLSerializer::ReadInt(const std::string& key, const std::string& section, int& value) {
  const tinyxml2::XMLElement* element = FindValue(key, section);
  if (!element) return false;
  value = ReadLikeAtoi(element->Attribute(kValueAttribute));
  return true;
}

bool CXMLSerializer::ReadDouble(const std::string& key, const std::string& section, double& value) {
  const tinyxml2::XMLElement* element = FindValue(key, section);
  return element && ReadLikeScanf(element->Attribute(kValueAttribute), value);
}

bool CXMLSerializer::ReadString(const std::string& key, const std::string& section,
                                std::string& value) {
  const tinyxml2::XMLElement* element = FindValue(key, section);
  if (!element) return false;
  const char* text = element->Attribute(kValueAttribute);
  if (!element->Attribute(kTypeAttribute, "double")) {
    value = text;
    return true;
  }
  double number = 0;
  ReadLikeScanf(text, number);
  value = FormatFixed(number, 3);
  return true;
}

bool CXMLSerializer::WriteInt(const std::string& key, const std::string& section, int value) {
  return Write(key, section, "int", std::to_string(value).c_str());
}

bool CXMLSerializer::WriteDouble(const std::string& key, const std::string& section, double value) {
  return Write(key, section, "double", FormatFixed(value, 6).c_str());
}

bool CXMLSerializer::WriteString(const std::string& key, const std::string& section,
                                 const std::string& value) {
  return Write(key, section, "string", value.c_str());
}

bool CXMLSerializer::Write(const std::string& key, const std::string& section, const char* type,
                           const char* value) {
  tinyxml2::XMLElement* parent = FindSection(section);
  if (!parent) return false;
  tinyxml2::XMLElement* element = m_Document.NewElement(key.c_str());
  element->SetAttribute(kTypeAttribute, type);
  element->SetAttribute(kValueAttribute, value);
  parent->InsertEndChild(element);
  // A name met for the first time is the first of its name; another one may stand before
  // an older namesake, and the index is made again when next needed.
  if (m_IndexValid && !m_FirstByName.emplace(key, element).second) m_IndexValid = false;
  ++m_ElementCount;
  return true;
}

int CXMLSerializer::Save() {
  if (!m_Usable) return 0;
  tinyxml2::XMLPrinter printer;
  m_Document.Print(&printer);
  if (!ReplaceFile(m_Path, std::string(printer.CStr(), printer.CStrSize() - 1), true)) {
    m_Error = "it cannot be written";
    return 0;
  }
  return 1;
}
