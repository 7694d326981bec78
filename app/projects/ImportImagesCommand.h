// `orvalis --import-images PROJECT.strm IMAGE...`: imports photographs into a project's data
// folder without a window, for scripts and tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Imports `images` into the project of the stream `project`, with a progress line on `err`,
// and prints each problem as "<source>: <problem>" on `out`. The exit status: 0 when every
// photograph was imported (unoriented ones included), 1 when any failed or the project is
// not a stream.
int RunImportImages(const std::string& project, const std::vector<std::string>& images,
                    std::FILE* out = stdout, std::FILE* err = stderr);
