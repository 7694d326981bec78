// The program's key/value store over an XML document: every value is an element named after
// its key, with the attributes "type" ("int", "double" or "string") and "value". A value of
// a section is a child of the first element (depth-first from the root) named after the
// section; a value without one is a child of the root.
//
// A file that cannot be read is never rewritten by the store: it stays as it is, the store
// is not usable, and GetError says why. Writing is explicit (Save), so that a failure is
// reported to the caller.
#pragma once

#include <tinyxml2.h>

#include <string>
#include <unordered_map>

class CXMLSerializer {
 public:
  // The largest file the store reads: a links file holds a few lines per link.
  static constexpr size_t kMaxFileSize = 64u << 20;

  // `create`: a new document (declaration and an empty root named `rootName`) for the file;
  // otherwise the file is read and must hold a document whose root is `rootName`.
  CXMLSerializer(const std::string& path, const std::string& rootName, bool create);

  bool IsUsable() const { return m_Usable; }
  const std::string& GetError() const { return m_Error; }

  // False when the root, the section or the key is missing. Whatever the value's type: an
  // integer is read as atoi reads it, a double as "%lf" does (true only for a finite
  // number), a string as it is, except a "double" value, which is formatted with "%.3f".
  bool ReadInt(const std::string& key, const std::string& section, int& value);
  bool ReadDouble(const std::string& key, const std::string& section, double& value);
  bool ReadString(const std::string& key, const std::string& section, std::string& value);

  // Appends an element for the key below the section (or the root); an element of the same
  // name is not replaced. False when the section is missing.
  bool WriteInt(const std::string& key, const std::string& section, int value);
  bool WriteDouble(const std::string& key, const std::string& section, double value);
  bool WriteString(const std::string& key, const std::string& section, const std::string& value);

  // Writes the document to the file, replacing it whole (a crash leaves the old file or the
  // new one). 1 on success; 0 with GetError saying why.
  int Save();

  // The number of elements of the document, the root included; 0 when not usable.
  size_t CountElements();

 private:
  tinyxml2::XMLElement* FindSection(const std::string& section);
  const tinyxml2::XMLElement* FindValue(const std::string& key, const std::string& section);
  bool Write(const std::string& key, const std::string& section, const char* type,
             const char* value);
  void IndexElements();

  std::string m_Path;
  std::string m_RootName;
  tinyxml2::XMLDocument m_Document;
  tinyxml2::XMLElement* m_Root = nullptr;
  bool m_Usable = false;
  std::string m_Error;
  // The first element of each name in depth-first order, so that a section is found at
  // once: a file of many links would otherwise be searched once per value.
  std::unordered_map<std::string, tinyxml2::XMLElement*> m_FirstByName;
  bool m_IndexValid = false;
  size_t m_ElementCount = 0;
};
