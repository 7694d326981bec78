#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "nimbex/format/PointClasses.h"

namespace {

std::map<std::string, std::string> g_Profile;

unsigned long ReadProfile(const char* section, const char* key, const char* def, char* out,
                          unsigned long size) {
  auto found = g_Profile.find(std::string(section) + "/" + key);
  std::strncpy(out, found != g_Profile.end() ? found->second.c_str() : def, size - 1);
  out[size - 1] = '\0';
  return std::strlen(out);
}

int WriteProfile(const char* section, const char* key, const char* value) {
  g_Profile[std::string(section) + "/" + key] = value;
  return 1;
}

class PointClassesTest : public testing::Test {
 protected:
  void SetUp() override {
    g_Profile.clear();
    InitStrmDll(ReadProfile);
    InitPulses(ReadProfile);
  }
};

TEST_F(PointClassesTest, DefaultsAreLoadedThroughTheReader) {
  PointClass record{};
  ASSERT_EQ(GetPointClass(3, record), 1);
  EXPECT_EQ(record.number, 3);
  EXPECT_EQ(record.visible, 1);
  EXPECT_STREQ(record.name, "low vegetation and small detached objects");
  EXPECT_EQ(record.color, 15428857u);
  unsigned int color = 0;
  ASSERT_EQ(GetPointClassColor(0, color), 1);
  EXPECT_EQ(color & 0xFF, 249u);  // red in the lowest byte
  EXPECT_STREQ(_ClassMethodsArray[12], "extract ground Photo");
  char name[256];
  ASSERT_EQ(GetPulseColor(LAST_PULSE, color, name), 1);
  EXPECT_EQ(color, 0x0000FFu);
  EXPECT_STREQ(name, "LastPulse");
}

TEST_F(PointClassesTest, NumbersOutsideTheTablesAreRefused) {
  PointClass record{};
  EXPECT_EQ(GetPointClass(10, record), 0);
  EXPECT_EQ(GetPointClass(-1, record), 0);
  EXPECT_EQ(SetPointClassColor(10, 1), 0);
  unsigned int color = 12345;
  EXPECT_EQ(GetPointClassColor(-1, color), 0);
  EXPECT_EQ(color, 12345u);
  char name[256];
  EXPECT_EQ(GetPointClassName(3, nullptr), 0);
  EXPECT_EQ(GetPulseColor(4, color), 0);
  SetPulseColor(7, 1);  // ignored
  const int list[] = {4, 6};
  EXPECT_EQ(ClassBelongToArray(4, list, 0), 0);
  EXPECT_EQ(ClassBelongToArray(4, nullptr, 2), 0);
  EXPECT_EQ(ClassBelongToArray(6, list, 2), 1);
  EXPECT_EQ(GetPointClassName(10, name), 0);
}

TEST_F(PointClassesTest, FixedNamesIgnoreTheStoredRecord) {
  PointClass renamed{};
  GetPointClass(3, renamed);
  std::strcpy(renamed.name, "shrubs");
  renamed.visible = 0;
  ASSERT_EQ(SetPointClass(3, renamed), 1);
  char name[256];
  ASSERT_EQ(GetPointClassName(3, name), 1);
  EXPECT_STREQ(name, "low vegetation and small detached objects");
  int visible[10];
  GetVisibleClasses(visible);
  EXPECT_EQ(visible[3], 0);

  // Without a reader, every class becomes visible and nothing else changes.
  InitStrmDll(nullptr);
  PointClass record{};
  GetPointClass(3, record);
  EXPECT_EQ(record.visible, 1);
  EXPECT_STREQ(record.name, "shrubs");
}

TEST_F(PointClassesTest, ColoursRoundTripThroughTheProfile) {
  SetPointClassColor(1, 0x00123456);
  SetPulseColor(FIRST_PULSE, 0x00ABCDEF);
  ReleaseStrmDll(WriteProfile);
  StorePulses(WriteProfile);
  EXPECT_EQ(g_Profile["ground/Color"], std::to_string(0x00123456));
  EXPECT_EQ(g_Profile["buildings/Color"], "12632256");

  SetPointClassColor(1, 0);
  SetPulseColor(FIRST_PULSE, 0);
  InitStrmDll(ReadProfile);
  InitPulses(ReadProfile);
  unsigned int color = 0;
  GetPointClassColor(1, color);
  EXPECT_EQ(color, 0x00123456u);
  GetPulseColor(FIRST_PULSE, color);
  EXPECT_EQ(color, 0x00ABCDEFu);
}

TEST_F(PointClassesTest, ATextThatIsNotANumberKeepsThePreviousClassColour) {
  g_Profile["ground/Color"] = "green";
  InitStrmDll(ReadProfile);
  unsigned int color = 0;
  GetPointClassColor(1, color);
  EXPECT_EQ(color, 10812409u);  // the colour just read for class 0
  int value = 5;
  EXPECT_EQ(StringToInteger(" -42 ", value), 1);
  EXPECT_EQ(value, -42);
  EXPECT_EQ(StringToInteger("12abc", value), 0);
  EXPECT_EQ(value, -42);
}

}  // namespace
