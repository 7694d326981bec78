#include <string>
#include <utility>
#include <vector>

#include "nimbex/creation/VtpReader.h"
#include "tests/creation/ScanFileTesting.h"

namespace {

namespace fs = std::filesystem;
using scantesting::ReadText;

class VtpReaderTest : public scantesting::ScanFileTest {};

TEST_F(VtpReaderTest, VtpModelsAndTheirCompanions) {
  SAMPLE_OR_SKIP(ring, "vtp/vtkdata_Ring.vtp");
  const std::pair<const char*, vtkIdType> samples[] = {
      {"probes", 245}, {"Ring", 245},       {"uniform-001371-5x5x5", 1371},
      {"Bunny", 872},  {"ObliqueCone", 25}, {"SemiDisk-0", 611},
      {"vtk", 51},     {"horse", 33936}};
  std::string error;
  for (const auto& [name, points] : samples) {
    SAMPLE_OR_SKIP(path, std::string("vtp/vtkdata_") + name + ".vtp");
    auto model = ReadVtpModel(path.string(), error);
    ASSERT_TRUE(model) << error;
    EXPECT_EQ(model->GetNumberOfPoints(), points) << name;
  }

  const std::string text = ReadText(ring);
  for (const std::string& broken :
       {text.substr(0, text.size() / 2), text.substr(0, 400), std::string("not xml at all")}) {
    error.clear();
    EXPECT_FALSE(ReadVtpModel(Write("broken.vtp", broken).string(), error));
    EXPECT_NE(error.find("broken.vtp"), std::string::npos);
  }
  EXPECT_FALSE(ReadVtpModel((m_Folder / "none.vtp").string(), error));

  const std::string modelPath = (m_Folder / "site.vtp").string();
  Write("site.vtw", "[PolyData Offset]\nX=1000.5\nY=-20\n");
  Write("site.ini", "[Kelvo_CloudData]\nGSD=0.25\n");
  double offset[3];
  bool present = false;
  ReadVtwOffset(modelPath, offset);
  EXPECT_EQ(std::vector<double>(offset, offset + 3), std::vector<double>({1000.5, -20, 0}));
  EXPECT_EQ(ReadIniGsd(modelPath, present), 0.25);
  EXPECT_TRUE(present);
  ReadVtwOffset((m_Folder / "other.vtp").string(), offset);
  EXPECT_EQ(std::vector<double>(offset, offset + 3), std::vector<double>({0, 0, 0}));
  EXPECT_EQ(ReadIniGsd((m_Folder / "other.vtp").string(), present), 0.0);
  EXPECT_FALSE(present);
}

// A triangle in ASCII VTK XML, its point count, its offsets and its connectivity as given.
std::string AsciiTriangle(const char* points, const char* offsets, const char* connectivity) {
  return std::string(
             "<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\" version=\"0.1\" "
             "byte_order=\"LittleEndian\">\n<PolyData><Piece NumberOfPoints=\"") +
         points +
         "\" NumberOfPolys=\"1\">\n<Points><DataArray type=\"Float32\" NumberOfComponents=\"3\" "
         "format=\"ascii\">0 0 0 1 0 0 0 1 0</DataArray></Points>\n<Polys><DataArray "
         "type=\"Int32\" Name=\"connectivity\" format=\"ascii\">" +
         connectivity + "</DataArray><DataArray type=\"Int32\" Name=\"offsets\" format=\"ascii\">" +
         offsets + "</DataArray></Polys>\n</Piece></PolyData></VTKFile>\n";
}

// VTK sizes its arrays from what a file declares before reading the data: declarations that
// would have it allocate gigabytes are refused first, as are cells naming missing points.
TEST_F(VtpReaderTest, VtpDeclarationsBeyondTheFileAreRefused) {
  std::string error;
  auto model =
      ReadVtpModel(Write("triangle.vtp", AsciiTriangle("3", "3", "0 1 2")).string(), error);
  ASSERT_TRUE(model) << error;
  EXPECT_EQ(model->GetNumberOfPolys(), 1);

  const struct {
    std::string text;
    const char* reason;
  } refused[] = {
      {AsciiTriangle("2000000000", "3", "0 1 2"), "declares more values"},
      {AsciiTriangle("3", "2000000000", "0 1 2"), "refer to more points"},
      {AsciiTriangle("3", "3", "0 1 7"), "refer to points it does not hold"},
      {AsciiTriangle("3", "2", "0 1"), "malformed"},  // a polygon of two points
      // A zlib header announcing 2^30 blocks (then block sizes 32768, 12 and 20).
      {"<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\" version=\"0.1\" "
       "byte_order=\"LittleEndian\" compressor=\"vtkZLibDataCompressor\"><PolyData><Piece "
       "NumberOfPoints=\"1\"><Points><DataArray type=\"Float32\" NumberOfComponents=\"3\" "
       "format=\"binary\">AAAAQACAAAAMAAAAFAAAAA==</DataArray></Points></Piece></PolyData>"
       "</VTKFile>\n",
       "compressed array's header"},
  };
  for (const auto& c : refused) {
    error.clear();
    EXPECT_FALSE(ReadVtpModel(Write("refused.vtp", c.text).string(), error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

}  // namespace
