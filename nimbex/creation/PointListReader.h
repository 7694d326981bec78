// Several point files read one after the other as one input.
#pragma once

#include <memory>
#include <string>

#include "nimbex/creation/PointReader.h"

// Reads the header of every file named in `listFile` (one path per line; blank lines ignored)
// with OpenPointReader; the files are then read one at a time. Null when the list or any of
// its files cannot be opened, with the reason.
std::unique_ptr<SPreader> OpenPointListReader(const std::string& listFile,
                                              const std::string& format,
                                              const std::string& parseString, std::string& error);
