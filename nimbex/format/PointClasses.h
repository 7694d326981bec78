// The process-wide tables of point classes and pulse kinds: names, display colours
// (0x00BBGGRR, red in the lowest byte) and the visibility of each class. The host program
// loads and stores the colours through profile callbacks; the library never touches
// profile storage itself.
#pragma once

constexpr int POINT_CLASS_COUNT = 10;
constexpr int CLASS_METHOD_COUNT = 13;
constexpr int PULSE_KIND_COUNT = 4;

struct PointClass {
  int number;
  int visible;
  char name[256];
  unsigned int color;
};

enum PulseKind { SINGLE_PULSE = 0, FIRST_PULSE = 1, INTERMEDIARY_PULSE = 2, LAST_PULSE = 3 };

// Fills `out` (of `size` bytes) with the value stored under section/key, or `def`.
typedef unsigned long (*ProfileReader)(const char* section, const char* key, const char* def,
                                       char* out, unsigned long size);
// Stores `value` under section/key; non-zero on success.
typedef int (*ProfileWriter)(const char* section, const char* key, const char* value);

extern PointClass _ClassArray[POINT_CLASS_COUNT];
extern char _ClassMethodsArray[CLASS_METHOD_COUNT][256];
extern unsigned int _PulsesColors[PULSE_KIND_COUNT];

void InitStrmDll(ProfileReader reader);
// A reader that answers every key with its default: hosts without a settings file (the
// command line, benchmarks) load the built-in class and pulse colours through it.
unsigned long BuiltInProfileReader(const char* section, const char* key, const char* def,
                                   char* out, unsigned long size);
void ReleaseStrmDll(ProfileWriter writer);
void InitPulses(ProfileReader reader);
void StorePulses(ProfileWriter writer);

int GetPointClassNumber();
int GetPointClass(int number, PointClass& pointClass);
int SetPointClass(int number, PointClass pointClass);
int GetPointClassColor(int number, unsigned int& color);
int SetPointClassColor(int number, unsigned int color);
// Copies the fixed English name of class `number` (independent of the stored record)
// into `name`, which holds at least 256 bytes.
int GetPointClassName(int number, char* name);
void GetVisibleClasses(int* visible);
int ClassBelongToArray(int number, const int* classes, int count);
int GetPulseColor(int kind, unsigned int& color, char* name = nullptr);
void SetPulseColor(int kind, unsigned int color);

// Parses a whole decimal integer (blanks around it allowed) into `value`; leaves `value`
// untouched and returns 0 when the text is not one.
int StringToInteger(const char* text, int& value);
