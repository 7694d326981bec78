// The maker of the program as its windows name it.
#pragma once

inline constexpr char kMakerWebAddress[] = "www.talvern.com";
