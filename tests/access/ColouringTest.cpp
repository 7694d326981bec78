#include <vtkCamera.h>
#include <vtkLookupTable.h>
#include <vtkRenderer.h>

#include <cmath>

#include "tests/access/DrawnStream.h"

namespace {

const std::vector<TestPoint> kPoints = {{{-4, -4, 0}, 1, {10, 20, 30}, 1, 0},
                                        {{4, 4, 0}, 8, {200, 100, 0}, 3, 255}};

class ColouringTest : public DrawnStream {
 protected:
  void SetUp() override {
    DrawnStream::SetUp();
    m_Cloud = Show(PointStream(kPoints));
    ASSERT_NE(m_Cloud, nullptr);
  }
  CNimbex* m_Cloud = nullptr;
};

TEST_F(ColouringTest, ModesNeedTheirAttributes) {
  TestStream classesOnly = PointStream(kPoints);
  classesOnly.rgb = classesOnly.rif = classesOnly.pls = classesOnly.norm = false;
  CNimbex* plain = Show(classesOnly, "plain.strm");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->HasCVM(CVM_INTENSITY), 0);
  EXPECT_EQ(plain->HasCVM(CVM_CLASSES), 1);
  plain->SetCVM(CVM_INTENSITY);
  EXPECT_EQ(plain->GetCVM(), CVM_ELEVATION);
  EXPECT_STREQ(plain->GetColorBy(), "Elevation");
  // Classes mode needs no colour file: the colours come from the class table.
  plain->SetCVM(CVM_CLASSES);
  Draw();
  EXPECT_EQ(ColorOf(plain, kPoints[1].position), _ClassArray[8].color);
}

TEST_F(ColouringTest, IntensityRangeIsStoredInTheHeaderAtOnce) {
  const double range[2] = {10, 200};
  m_Cloud->SetColorBy("Intensity", range, nullptr);
  EXPECT_EQ(m_Cloud->GetCVM(), CVM_INTENSITY);
  EXPECT_EQ(m_Cloud->GetLookupTableRange()[1], 200);
  CNimbex reopened(m_Cloud->GetStrmFileName());
  ASSERT_EQ(reopened.OpenStrmCloud(), 1);
  EXPECT_EQ(reopened.GetIntensityRange()[0], 10);
  EXPECT_EQ(reopened.GetIntensityRange()[1], 200);
}

TEST_F(ColouringTest, NamesSelectModesCaseSensitively) {
  m_Cloud->SetCVM(CVM_CLASSES);
  m_Cloud->SetColorBy("intensity", nullptr, nullptr);
  EXPECT_EQ(m_Cloud->GetCVM(), CVM_CLASSES);
  EXPECT_STREQ(m_Cloud->GetColorBy(), "intensity");

  m_Cloud->SetPropertyColor(0xFF0000);
  m_Cloud->SetColorBy(nullptr, nullptr, nullptr);
  EXPECT_EQ(m_Cloud->GetCVM(), CVM_USER_DEFINED);
  EXPECT_STREQ(m_Cloud->GetColorBy(), "");
  Draw();
  EXPECT_EQ(ColorOf(m_Cloud, kPoints[0].position), 0xFF0000u);
}

TEST_F(ColouringTest, SchemesShapeTheLookupTable) {
  m_Cloud->SetColorSchemeToGrayscale();
  m_Cloud->SetCVM(CVM_INTENSITY);
  double hue[2], value[2];
  m_Cloud->GetLookupTable()->GetHueRange(hue);
  m_Cloud->GetLookupTable()->GetValueRange(value);
  EXPECT_EQ(hue[1], 0.0);
  EXPECT_EQ(value[0], 0.0);
  m_Cloud->SetColorSchemeToRedBlue();
  Draw();
  EXPECT_EQ(ColorOf(m_Cloud, kPoints[0].position), 0x0000FFu);
  EXPECT_EQ(ColorOf(m_Cloud, kPoints[1].position), 0xFF0000u);
  m_Cloud->SetColorScheme(7);
  EXPECT_EQ(m_Cloud->GetColorScheme(), COLOR_SCHEME_RED_BLUE);
}

TEST_F(ColouringTest, AppearanceAndBackground) {
  EXPECT_STREQ(m_Cloud->GetRepresentationAsString(), "Points");
  m_Cloud->SetInterpolation(2);
  EXPECT_EQ(m_Cloud->GetInterpolation(), 2);
  m_Cloud->SetInterpolation(3);
  EXPECT_EQ(m_Cloud->GetInterpolation(), 2);

  m_Cloud->SetBackgroundColor(0x102030, 0x102030);
  EXPECT_FALSE(m_Record->m_Renderer->GetGradientBackground());
  Draw();
  EXPECT_EQ(PixelAt({kWidth - 1, 0}), 0x102030u);
  EXPECT_EQ(PixelAt({kWidth - 1, kHeight - 1}), 0x102030u);

  CNimbex closed(m_Cloud->GetStrmFileName());
  EXPECT_EQ(closed.GetRepresentation(), -1);
  EXPECT_STREQ(closed.GetRepresentationAsString(), "");
  EXPECT_EQ(closed.GetPointSize(), -1);
  EXPECT_EQ(closed.GetLineWeight(), -1);
  closed.SetPropertyColor(0x123456);
  EXPECT_EQ(closed.GetPropertyColor(), 0xFFFFFFu);
}

TEST_F(ColouringTest, PresetViewsLookAlongTheirAxis) {
  m_Cloud->SetPresetView(VIEW_FRONT);
  double direction[3];
  m_Record->m_Renderer->GetActiveCamera()->GetDirectionOfProjection(direction);
  EXPECT_NEAR(direction[1], 1.0, 1e-9);
  m_Cloud->SetPresetView(VIEW_SE);
  m_Record->m_Renderer->GetActiveCamera()->GetDirectionOfProjection(direction);
  EXPECT_NEAR(direction[0], -1 / std::sqrt(3.0), 1e-9);
  EXPECT_NEAR(direction[2], -1 / std::sqrt(3.0), 1e-9);
}

}  // namespace
