// Arbitrary bytes as a settings file: loading, querying, changing and rewriting it must
// not crash, a stored value must read back after a save, and saving what was loaded from
// a saved file must give the same bytes. Read as a project's filter settings file, every
// value must come out usable, and the settings must read back the same after a save.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/images/PovFilter.h"
#include "nimbex/platform/Profile.h"

namespace {

const std::filesystem::path& ScratchFile() {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("orvalis profile_fuzz " + std::to_string(::getpid()) + ".ini");
  return path;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Names from the input itself reach sections and keys the file really has, as well as
// every kind of name that must be refused.
std::string NameFrom(const uint8_t* data, size_t size, size_t offset) {
  if (offset >= size) return "Fuzz";
  size_t length = std::min<size_t>(data[offset] % 8, size - offset - 1);
  return std::string(reinterpret_cast<const char*>(data) + offset + 1, length);
}

bool SameSettings(const SPovFilterFile& a, const SPovFilterFile& b) {
  const SPovFilterSettings &x = a.settings, &y = b.settings;
  bool same = a.minRadius == b.minRadius && a.maxRadius == b.maxRadius && x.time == y.time &&
              x.from == y.from && x.to == y.to && x.space == y.space && x.radiusBox == y.radiusBox;
  for (int i = 0; i < 3; ++i)
    same =
        same && x.angleActive[i] == y.angleActive[i] && x.low[i] == y.low[i] && x.up[i] == y.up[i];
  return same;
}

void CheckFilterFile(const std::filesystem::path& path) {
  SPovFilterFile file;
  LoadPovFilterFile(path.string(), file);
  const SPovFilterSettings& settings = file.settings;
  Check(IsValidDate(settings.from) && IsValidDate(settings.to));
  Check(0 <= file.minRadius && file.minRadius <= file.maxRadius);
  Check(0 <= settings.radiusBox && settings.radiusBox <= file.maxRadius);
  for (int i = 0; i < 3; ++i)
    Check(0 <= settings.low[i] && settings.low[i] < 360 && 0 <= settings.up[i] &&
          settings.up[i] < 360);
  Check(SavePovFilterFile(path.string(), file) == 1);
  SPovFilterFile reread;
  Check(LoadPovFilterFile(path.string(), reread) == 1 && SameSettings(file, reread));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path& path = ScratchFile();
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  CProfile profile;
  Check(profile.Load(path) == 1);
  std::string section = NameFrom(data, size, 0), key = NameFrom(data, size, 4);
  profile.GetString(section, key, "");
  profile.GetInt(section, key, 0);
  profile.GetDouble(section, key, 0);
  profile.SetDouble(section, key, 0.5);
  profile.RemoveKey(section, "Fuzz");
  Check(profile.SetString("Fuzz", "Key", " value ") == 1);
  Check(profile.GetString("fuzz", "key", "") == "value");

  Check(profile.Save(path) == 1);
  std::string saved = ReadAll(path);
  CProfile reloaded;
  Check(reloaded.Load(path) == 1);
  Check(reloaded.GetString("FUZZ", "KEY", "") == "value");
  Check(reloaded.Save(path) == 1);
  Check(ReadAll(path) == saved);

  char small[4];
  unsigned long copied =
      GetPrivateProfileString(section.c_str(), key.c_str(), "", small, sizeof small, path.c_str());
  Check(copied < sizeof small && small[copied] == '\0');
  WritePrivateProfileString(section.c_str(), key.c_str(), nullptr, path.c_str());

  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  CheckFilterFile(path);
  std::filesystem::remove(path);
  return 0;
}
