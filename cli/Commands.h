// The subcommands of the nimbex command. Each returns the process exit status.
#pragma once

#include <string>

int RunInfo(const std::string& streamPath, bool json);
