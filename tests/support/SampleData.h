// The real sample files of the sample-data folder (ORVALIS_SAMPLE_DATA), which tests read
// when it is there and skip without.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// The sample folder `name` ("las", "vtp"...), or an empty path when it is missing.
inline std::filesystem::path SampleData(const std::string& name) {
  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  const std::filesystem::path path = std::filesystem::path(data ? data : "") / name;
  return data && std::filesystem::is_directory(path) ? path : std::filesystem::path();
}
