// Several point files read one after the other as one input.
#pragma once

#include <memory>
#include <string>

#include "nimbex/creation/PointReader.h"

// Opens every file named in `listFile` (one path per line; blank lines ignored) with
// OpenPointReader. Null when the list or any of its files cannot be opened, with the reason.
std::unique_ptr<SPreader> OpenPointListReader(const std::string& listFile,
                                              const std::string& format,
                                              const std::string& parseString, std::string& error);
