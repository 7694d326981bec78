#include "nimbex/creation/PointReader.h"

#include <algorithm>
#include <cctype>

#include "nimbex/creation/LasReader.h"
#include "nimbex/creation/TextReader.h"

namespace {

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::unique_ptr<SPreader> OpenPointReader(const std::string& path, const std::string& format,
                                          const std::string& parseString, std::string& error) {
  error.clear();
  const std::string kind = Lowered(format);
  if (kind == "las") return CLasReader::Open(path, error);
  if (kind == "text" || kind == "txt") return CTextReader::Open(path, parseString, error);
  error = "unknown point file format '" + format + "' (use las or text)";
  return nullptr;
}
