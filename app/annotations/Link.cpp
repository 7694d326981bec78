#include "Link.h"

namespace {

struct SLinkTypeLook {
  const char* name;
  double rgb[3];
};

const SLinkTypeLook kLinkTypes[kLinkTypeCount] = {
    {"Web Link", {1, 0, 0}},      {"File Link", {0.41, 0.35, 0.8}},
    {"Image Link", {0, 0, 1}},    {"Model Link", {0.3, 0.56, 0.66}},
    {"Media Link", {1, 0.5, 1}},  {"New Audio Link", {0, 0.34, 0.29}},
    {"Orthophoto", {0, 1, 0.49}}, {"CAD", {1, 0.64, 0}},
    {"DEM", {1, 0.07, 0.57}},     {"Vantel Link", {0.45, 0.06, 0.06}},
};

bool IsKnownType(int type) {
  return type >= 0 && type < kLinkTypeCount;
}

}  // namespace

const char* LinkTypeName(int type) {
  return IsKnownType(type) ? kLinkTypes[type].name : "";
}

void LinkTypeColor(int type, double rgb[3]) {
  for (int channel = 0; channel < 3; ++channel)
    rgb[channel] = IsKnownType(type) ? kLinkTypes[type].rgb[channel] : 1.0;
}
