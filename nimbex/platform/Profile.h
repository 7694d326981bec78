// Settings files in the private-profile (INI) format shared with the Windows tools:
// `[Section]` headers and `key=value` lines. Section and key names compare without regard
// to ASCII case and keep the spelling they were stored with; values are trimmed of
// surrounding blanks. Rewriting a file keeps every other line, comments (`;`) included,
// in its place, and keeps the file's line endings (CRLF or LF).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class CProfile {
 public:
  // Replaces the contents with the file at `path`. 1 when it was read; 0 when it is
  // missing, unreadable or larger than kMaxFileSize, leaving the profile empty.
  int Load(const std::filesystem::path& path);
  // Writes the profile through a temporary file in the same folder renamed over `path`,
  // so a crash leaves either the old file or the new one; `durable` also waits until the
  // data is on disk (settings), which files that are merely informative skip. 1 on success.
  int Save(const std::filesystem::path& path, bool durable = true) const;

  // The value of `key` in `section`, or `def` when either is missing.
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& def) const;
  // The integer the value starts with (as atoi reads it, clamped to the int range), or
  // `def` when the key is missing or its value does not start with a number.
  int GetInt(const std::string& section, const std::string& key, int def) const;
  // As GetInt for a decimal number; '.' is the decimal point whatever the locale.
  double GetDouble(const std::string& section, const std::string& key, double def) const;

  // Stores `value`, replacing the key's value in place or adding the key at the end of its
  // section, or the section at the end of the profile. 0, with nothing changed, for an
  // empty or over-long name or value, a name or value holding a line break or NUL, a
  // section name holding ']', a key holding '=' or starting with ';' or '['.
  int SetString(const std::string& section, const std::string& key, const std::string& value);
  int SetInt(const std::string& section, const std::string& key, int value);
  // Six decimals as "%lf" writes them when those give back the same number, otherwise the
  // shortest exact form; 0 for a NaN or an infinity.
  int SetDouble(const std::string& section, const std::string& key, double value);

  // Removes every `key` line of the section; 1 when there was one, 0 otherwise.
  int RemoveKey(const std::string& section, const std::string& key);
  // Removes the section's header and lines; 1 when there was one, 0 otherwise.
  int RemoveSection(const std::string& section);

  // Files beyond this are refused rather than parsed: settings are a few kilobytes.
  static constexpr size_t kMaxFileSize = 16 << 20;
  static constexpr size_t kMaxNameLength = 1024;
  static constexpr size_t kMaxValueLength = 1 << 20;

 private:
  enum class LineKind { Text, Header, Entry };
  struct Line {
    LineKind kind = LineKind::Text;
    std::string text;  // the line as read or as last written, without its line ending
    std::string name;  // section name of a header, key of an entry
    std::string value;
  };

  size_t FindSection(const std::string& section) const;
  size_t SectionEnd(size_t header) const;
  size_t FindKey(size_t header, const std::string& key) const;
  void Parse(std::string data);
  void AddEntry(const std::string& section, const std::string& key, const std::string& value);
  std::string Serialise() const;

  std::vector<Line> m_Lines;
  bool m_Crlf = false;
  bool m_ByteOrderMark = false;
};

// The Windows calls on a settings file, for code shared with the Windows tools. Copies the
// value, or `def` when it is missing, truncated to size - 1 characters and NUL-terminated;
// returns the number of characters copied. Listing names through a null section or key is
// not supported: that copies an empty string. Nothing is copied when `out` is null or
// `size` is 0.
unsigned long GetPrivateProfileString(const char* section, const char* key, const char* def,
                                      char* out, unsigned long size, const char* file);
// Sets the value, creating the file when missing; a null `value` removes the key and a
// null `key` the whole section. 1 on success; 0 when the value cannot be stored or an
// existing file cannot be read (it is then left untouched).
int WritePrivateProfileString(const char* section, const char* key, const char* value,
                              const char* file);
