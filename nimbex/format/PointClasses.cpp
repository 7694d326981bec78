#include "nimbex/format/PointClasses.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

PointClass _ClassArray[POINT_CLASS_COUNT];
char _ClassMethodsArray[CLASS_METHOD_COUNT][256];
unsigned int _PulsesColors[PULSE_KIND_COUNT];

namespace {

struct NamedColor {
  const char* name;
  unsigned int color;
};

constexpr NamedColor kClasses[POINT_CLASS_COUNT] = {
    {"<no class>", 10812409},
    {"ground", 3329330},
    {"over ground", 13959039},
    {"low vegetation and small detached objects", 15428857},
    {"high vegetation", 13959039},
    {"sparse high vegetation and detached objects", 16777215},
    {"buildings", 12632256},
    {"attached objects", 16777215},
    {"errors", 255},
    {"outliers", 13353215},
};

constexpr NamedColor kPulses[PULSE_KIND_COUNT] = {
    {"SinglePulse", 0xFFFFFF},
    {"FirstPulse", 0xFF0000},
    {"IntermediaryPulse", 0x00FF00},
    {"LastPulse", 0x0000FF},
};

constexpr const char* kClassMethods[CLASS_METHOD_COUNT] = {
    "all points in AOI", "sparse",          "low compared to neighbours",
    "high compared to neighbours", "ground", "height from ground",
    "absolute height",   "buildings",       "gridding",
    "export",            "from closed polylines", "extract buildings",
    "extract ground Photo"};

const char* const kColorKey = "Color";

bool IsClassNumber(int number) { return number >= 0 && number < POINT_CLASS_COUNT; }
bool IsPulseKind(int kind) { return kind >= 0 && kind < PULSE_KIND_COUNT; }

void CopyName(char* target, const char* name) {
  std::strncpy(target, name, 255);
  target[255] = '\0';
}

// Reads the colour of one profile section. The parse target is shared between sections,
// so a text that is not a number leaves the colour of the previous section.
void ReadColor(ProfileReader reader, const char* section, unsigned int defaultColor, int& target) {
  char defaultText[32];
  std::snprintf(defaultText, sizeof defaultText, "%d", static_cast<int>(defaultColor));
  char text[256] = "";
  reader(section, kColorKey, defaultText, text, sizeof text);
  text[sizeof text - 1] = '\0';
  StringToInteger(text, target);
}

void WriteColor(ProfileWriter writer, const char* section, unsigned int color) {
  char text[32];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(color));
  writer(section, kColorKey, text);
}

}  // namespace

int StringToInteger(const char* text, int& value) {
  if (!text) return 0;
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(text, &end, 10);
  if (end == text || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return 0;
  while (std::isspace(static_cast<unsigned char>(*end))) ++end;
  if (*end != '\0') return 0;
  value = static_cast<int>(parsed);
  return 1;
}

void InitStrmDll(ProfileReader reader) {
  for (PointClass& pointClass : _ClassArray) pointClass.visible = 1;
  if (!reader) return;
  int color = 0xFF0000;
  for (int number = 0; number < POINT_CLASS_COUNT; ++number) {
    PointClass record{};
    record.number = number;
    record.visible = 1;
    CopyName(record.name, kClasses[number].name);
    ReadColor(reader, kClasses[number].name, kClasses[number].color, color);
    record.color = static_cast<unsigned int>(color);
    _ClassArray[number] = record;
  }
  for (int i = 0; i < CLASS_METHOD_COUNT; ++i) CopyName(_ClassMethodsArray[i], kClassMethods[i]);
}

unsigned long BuiltInProfileReader(const char*, const char*, const char* def, char* out,
                                   unsigned long size) {
  if (!out || size == 0) return 0;
  std::snprintf(out, size, "%s", def ? def : "");
  return static_cast<unsigned long>(std::strlen(out));
}

void ReleaseStrmDll(ProfileWriter writer) {
  if (!writer) return;
  for (int number = 0; number < POINT_CLASS_COUNT; ++number)
    WriteColor(writer, kClasses[number].name, _ClassArray[number].color);
}

void InitPulses(ProfileReader reader) {
  if (!reader) return;
  int color = 0;
  for (int kind = 0; kind < PULSE_KIND_COUNT; ++kind) {
    color = static_cast<int>(kPulses[kind].color);
    ReadColor(reader, kPulses[kind].name, kPulses[kind].color, color);
    _PulsesColors[kind] = static_cast<unsigned int>(color);
  }
}

void StorePulses(ProfileWriter writer) {
  if (!writer) return;
  for (int kind = 0; kind < PULSE_KIND_COUNT; ++kind)
    WriteColor(writer, kPulses[kind].name, _PulsesColors[kind]);
}

int GetPointClassNumber() { return POINT_CLASS_COUNT; }

int GetPointClass(int number, PointClass& pointClass) {
  if (!IsClassNumber(number)) return 0;
  pointClass = _ClassArray[number];
  return 1;
}

int SetPointClass(int number, PointClass pointClass) {
  if (!IsClassNumber(number)) return 0;
  _ClassArray[number] = pointClass;
  return 1;
}

int GetPointClassColor(int number, unsigned int& color) {
  if (!IsClassNumber(number)) return 0;
  color = _ClassArray[number].color;
  return 1;
}

int SetPointClassColor(int number, unsigned int color) {
  if (!IsClassNumber(number)) return 0;
  _ClassArray[number].color = color;
  return 1;
}

int GetPointClassName(int number, char* name) {
  if (!name || !IsClassNumber(number)) return 0;
  CopyName(name, kClasses[number].name);
  return 1;
}

void GetVisibleClasses(int* visible) {
  if (!visible) return;
  for (int number = 0; number < POINT_CLASS_COUNT; ++number)
    visible[number] = _ClassArray[number].visible;
}

int ClassBelongToArray(int number, const int* classes, int count) {
  if (!classes || count <= 0) return 0;
  for (int i = 0; i < count; ++i)
    if (classes[i] == number) return 1;
  return 0;
}

int GetPulseColor(int kind, unsigned int& color, char* name) {
  if (!IsPulseKind(kind)) return 0;
  color = _PulsesColors[kind];
  if (name) CopyName(name, kPulses[kind].name);
  return 1;
}

void SetPulseColor(int kind, unsigned int color) {
  if (IsPulseKind(kind)) _PulsesColors[kind] = color;
}
