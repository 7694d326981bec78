// The model viewer of model links: a demo stream drawn through the library in the viewer's
// own render window, VTP models with and without their texture, and the refusals of the entry
// point the link page calls.
#include <gtest/gtest.h>
#include <vtkCamera.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPlaneSource.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkRenderer.h>
#include <vtkXMLPolyDataReader.h>
#include <vtkXMLPolyDataWriter.h>

#include <QComboBox>
#include <QImage>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <filesystem>
#include <fstream>

#include "app/annotations/DisplayCloudLinkDlg.h"
#include "app/annotations/LinkViewers.h"
#include "app/annotations/StaticVtk.h"
#include "app/widgets/ReportDlg.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/SampleData.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPaintTimeoutMs = 30000;
constexpr int kDemoPoints = 50000;

// The demo site as a stream, made once.
const fs::path& DemoStream() {
  static ScratchFolder folder;
  static const fs::path stream = [] {
    const fs::path las = folder / "site.las";
    EXPECT_EQ(RunNimbex("demo-site " + Quoted(las) + " --points " + std::to_string(kDemoPoints) +
                        " --seed 3")
                  .status,
              0);
    EXPECT_EQ(RunNimbex("build " + Quoted(las) + " -o " + Quoted(folder / "demo site.strm")).status,
              0);
    return folder / "demo site.strm";
  }();
  return stream;
}

// The viewer shown and painted with the detail of its view.
QImage ShowAndPaint(CDisplayCloudLinkDlg& viewer) {
  QSignalSpy painted(viewer.GetView(), &CStaticVtk::regenerated);
  viewer.show();
  EXPECT_TRUE(!painted.isEmpty() || painted.wait(kPaintTimeoutMs)) << "the viewer did not paint";
  QTest::qWait(100);
  return viewer.GetView()->grabFramebuffer();
}

// Pixels far from grey: the background is a grey gradient.
int ColouredPixels(const QImage& picture) {
  int coloured = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const QColor c = picture.pixelColor(x, y);
      coloured +=
          std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 40;
    }
  return coloured;
}

std::function<void(QMessageBox*)> ExpectMessage(const QString& text) {
  return [text](QMessageBox* box) {
    EXPECT_EQ(box->text(), text);
    box->accept();
  };
}

// A square of 2 x 2 points whose texture coordinates are the point array "Texture", with
// (when `picture` is not empty) its ".tex" description naming `picture`.
fs::path WriteTexturedSquare(const fs::path& folder, const std::string& picture) {
  vtkNew<vtkPlaneSource> plane;
  plane->SetOrigin(500, 700, 10);
  plane->SetPoint1(520, 700, 10);
  plane->SetPoint2(500, 720, 10);
  plane->Update();
  vtkPolyData* square = plane->GetOutput();
  vtkSmartPointer<vtkDataArray> coordinates = square->GetPointData()->GetTCoords();
  coordinates->SetName("Texture");
  square->GetPointData()->SetTCoords(nullptr);
  square->GetPointData()->AddArray(coordinates);
  square->GetPointData()->SetNormals(nullptr);
  const fs::path model = folder / "square.vtp";
  vtkNew<vtkXMLPolyDataWriter> writer;
  writer->SetInputData(square);
  writer->SetFileName(model.c_str());
  writer->Write();
  if (!picture.empty())
    std::ofstream(folder / "square.tex") << "[Texture]\nFile=" << picture << "\n";
  return model;
}

class ModelViewerTest : public testing::Test {
 protected:
  // Every class visible, as the program starts.
  static void SetUpTestSuite() { InitStrmDll(nullptr); }
};

}  // namespace

TEST_F(ModelViewerTest, StreamLinkDrawsTheDemoSite) {
  const fs::path stream = DemoStream();
  CDisplayCloudLinkDlg viewer;
  ASSERT_EQ(viewer.LoadModels({stream.string()}), 1) << viewer.GetProblems().size();
  EXPECT_TRUE(viewer.GetProblems().empty());
  EXPECT_EQ(viewer.windowTitle(), QString("Talvern Software - 3D points: %1").arg(kDemoPoints));
  QComboBox* box = viewer.GetRepresentationBox();
  ASSERT_EQ(box->count(), 2);
  EXPECT_EQ(box->itemText(0), "3D Points");
  EXPECT_EQ(box->itemText(1), "Surface");
  EXPECT_EQ(box->currentText(), "3D Points");

  const QImage picture = ShowAndPaint(viewer);
  picture.save(Output("model-viewer.png"));
  viewer.grab().save(Output("model-viewer-dialog.png"));
  const int coloured = ColouredPixels(picture);
  EXPECT_GT(coloured, picture.width() * picture.height() / 10) << "too few points drawn";

  // The wheel zooms through the library's handlers and the next paint loads the new view.
  RenderWindow* record = viewer.GetView()->GetRenderWindowRecord();
  const double scale = record->m_Renderer->GetActiveCamera()->GetParallelScale();
  QSignalSpy painted(viewer.GetView(), &CStaticVtk::regenerated);
  const QPoint middle = viewer.GetView()->rect().center();
  QWheelEvent wheel(middle, viewer.GetView()->mapToGlobal(middle), {}, {0, 120}, Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewer.GetView(), &wheel);
  EXPECT_LT(record->m_Renderer->GetActiveCamera()->GetParallelScale(), scale);
  EXPECT_TRUE(painted.wait(kPaintTimeoutMs));

  // A linked stream is only looked at: its files keep their bytes.
  const auto written = fs::last_write_time(stream);
  viewer.close();
  EXPECT_EQ(fs::last_write_time(stream), written);
}

TEST_F(ModelViewerTest, ShowModelsOpensTheViewerModal) {
  const std::string stream = DemoStream().string();
  ModalScript script;
  script.Then<CDisplayCloudLinkDlg>([](CDisplayCloudLinkDlg* viewer) {
    EXPECT_EQ(viewer->windowTitle(), QString("Talvern Software - 3D points: %1").arg(kDemoPoints));
    viewer->reject();
  });
  // Blanks around the names and empty entries do not count as models.
  EXPECT_EQ(ShowModels(nullptr, "Site", " " + stream + " ; ;"), 1);
  script.Finish();
}

TEST_F(ModelViewerTest, TooManyOrNoValidModelsAreRefused) {
  ScratchFolder folder;
  std::string paths;
  for (int i = 0; i < 300; ++i)
    paths += (folder / ("m" + std::to_string(i) + ".strm")).string() + ";";
  {
    ModalScript script;
    script.Then<QMessageBox>(ExpectMessage("Too much models to display!"));
    EXPECT_EQ(ShowModels(nullptr, "Many", paths), 0);
    script.Finish();
  }

  // 299 models are taken; none of these can be shown, and the report says why for each.
  paths.clear();
  for (int i = 0; i < 298; ++i)
    paths += (folder / ("m" + std::to_string(i) + ".vtp")).string() + ";";
  std::ofstream(folder / "plan.pdf") << "%PDF";
  paths += (folder / "plan.pdf").string();
  ModalScript refusal;
  refusal
      .Then<CReportDlg>([](CReportDlg* report) {
        EXPECT_EQ(report->GetRowCount(), 299);
        EXPECT_EQ(report->GetRow(0).at(1), "the file does not exist");
        EXPECT_TRUE(report->GetRow(298).at(1).contains("only .strm and .vtp"));
        report->accept();
      })
      .Then<QMessageBox>(ExpectMessage("No valid model to display!"));
  EXPECT_EQ(ShowModels(nullptr, "Missing", paths), 0);
  refusal.Finish();
}

TEST_F(ModelViewerTest, VtpModelsAreShownWithTheirTexture) {
  ScratchFolder folder;
  QImage red(16, 16, QImage::Format_RGB32);
  red.fill(QColor(220, 20, 20));
  ASSERT_TRUE(red.save(QString::fromStdString((folder / "façade.png").string())));
  const fs::path model = WriteTexturedSquare(folder.Path(), "façade.png");
  EXPECT_EQ(FindModelTexture(model.string()), (folder / "façade.png").string());

  CDisplayCloudLinkDlg viewer;
  ASSERT_EQ(viewer.LoadModels({model.string()}), 1);
  EXPECT_EQ(viewer.windowTitle(), "Talvern Software - 3D points: 4");
  QComboBox* box = viewer.GetRepresentationBox();
  ASSERT_EQ(box->count(), 3);
  EXPECT_EQ(box->itemText(2), "Texture");
  EXPECT_EQ(box->currentText(), "Texture");
  QImage picture = ShowAndPaint(viewer);
  picture.save(Output("model-viewer-texture.png"));
  const QColor middle = picture.pixelColor(picture.width() / 2, picture.height() / 2);
  EXPECT_GT(middle.red(), 150);
  EXPECT_LT(middle.green(), 80);

  // Chosen in the box as a user does: the surface without its picture is grey.
  QSignalSpy painted(viewer.GetView(), &CStaticVtk::regenerated);
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Up);
  EXPECT_EQ(box->currentText(), "Surface");
  EXPECT_TRUE(!painted.isEmpty() || painted.wait(kPaintTimeoutMs));
  picture = viewer.GetView()->grabFramebuffer();
  const QColor grey = picture.pixelColor(picture.width() / 2, picture.height() / 2);
  EXPECT_GT(grey.red(), 0x60);
  EXPECT_LT(std::abs(grey.red() - grey.green()), 10);

  // Without its description, or with a picture that is not there, no texture is offered.
  fs::remove(folder / "square.tex");
  CDisplayCloudLinkDlg plain;
  ASSERT_EQ(plain.LoadModels({model.string()}), 1);
  EXPECT_EQ(plain.GetRepresentationBox()->count(), 2);
  EXPECT_EQ(plain.GetRepresentationBox()->currentText(), "Surface");
}

TEST_F(ModelViewerTest, SampleVtpModelCountsItsPoints) {
  const fs::path bunny = SampleData("vtp") / "vtkdata_Bunny.vtp";
  if (!fs::is_regular_file(bunny)) GTEST_SKIP() << "no sample model";
  vtkNew<vtkXMLPolyDataReader> reader;
  reader->SetFileName(bunny.c_str());
  reader->Update();
  CDisplayCloudLinkDlg viewer;
  ASSERT_EQ(viewer.LoadModels({bunny.string()}), 1);
  EXPECT_EQ(viewer.GetPointCount(), reader->GetOutput()->GetNumberOfPoints());
  const QImage picture = ShowAndPaint(viewer);
  int lit = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) lit += qGray(picture.pixel(x, y)) > 0x60;
  EXPECT_GT(lit, picture.width() * picture.height() / 20) << "the model was not drawn";
  picture.save(Output("model-viewer-bunny.png"));
}
