// Whole-file reading and replacing for the small text files that travel with a project
// (settings, orientations): a file is read only when it is a regular file of bounded size,
// and rewritten so that a crash leaves either the old file or the new one. Also the word
// and number reading of their lines.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// Appends the file's bytes to `data`. False for anything but a regular file (a FIFO or
// /dev/zero could block or never end), for a read error, and for a file larger than
// `maxSize` bytes.
bool ReadRegularFile(const std::filesystem::path& path, std::string& data, size_t maxSize);

// Writes `text` to a temporary file beside `path` and renames it over `path`; `durable`
// also waits until the data is on disk. Through a symbolic link the file it points to is
// replaced and the link kept. A file being replaced keeps its permissions.
bool ReplaceFile(const std::filesystem::path& path, const std::string& text, bool durable);

// The words of a line, separated by blanks and tabs.
std::vector<std::string> SplitWords(const std::string& line);

// A whole word as a finite decimal number ('.' whatever the locale, no leading '+'); false
// for anything else, "nan" and "inf" included.
bool ParseFiniteDouble(const std::string& word, double& value);
