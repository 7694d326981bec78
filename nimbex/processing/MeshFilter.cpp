// The mesh filter, which turns the points of each item into a triangle mesh cut to the
// item's box, and the overview levels of a mesh stream.
#include <vtkBox.h>
#include <vtkCellArray.h>
#include <vtkClipPolyData.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "nimbex/access/Nimbex.h"
#include "nimbex/format/StrmHeader.h"
#include "nimbex/processing/StreamFilter.h"
#include "nimbex/processing/SurfaceReconstruction.h"

namespace {

bool IsFinite(const double* p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

// Meshes one item and writes its buffers. Returns "" or why the item could not be meshed.
// Items with too few points, or whose mesh lies outside their box, write nothing.
std::string MeshItem(CNimbex& source, int id, double radius, CFilteredStream& stream) {
  vtkNew<vtkPoints> points;
  if (!source.LoadItemIO(source.GetDepth(), id, points, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, 1))
    return CFilteredStream::UnreadableItem(source, id);
  vtkNew<vtkPolyData> cloud;
  cloud->SetPoints(points);
  CMeshFilter mesher;
  mesher.Execute(cloud, radius);
  if (!mesher.GetOutput()) return "";

  // The points of an item lie in its cell, but float rounding may put a corner a hair
  // outside: the cut keeps neighbouring items' meshes from overlapping.
  double bounds[6];
  source.GetItemBounds(id, source.GetDepth(), bounds);
  vtkNew<vtkBox> box;
  box->SetBounds(bounds);
  vtkNew<vtkClipPolyData> clipper;
  clipper->SetClipFunction(box);
  clipper->InsideOutOn();
  clipper->SetInputData(mesher.GetOutput());
  clipper->Update();
  vtkPolyData* clipped = clipper->GetOutput();
  if (clipped->GetNumberOfPolys() == 0) return "";
  if (!stream.WritePoints(id, clipped->GetPoints()) ||
      !stream.WriteTriangles(id, clipped->GetPolys()))
    return stream.GetWriteError();
  stream.AddItem(id, clipped->GetNumberOfPoints());
  return "";
}

}  // namespace

// ---------------------------------------------------------------------------------------
// CMeshFilter

CMeshFilter::~CMeshFilter() {
  if (m_Output) m_Output->Delete();
}

void CMeshFilter::Execute(vtkPolyData* input, double /*radius*/) {
  if (m_Output) m_Output->Delete();
  m_Output = nullptr;
  if (!input || input->GetNumberOfPoints() < kMinimumPoints) return;

  // A damaged points file may hold values no triangulation can place: they are left out.
  std::vector<std::array<double, 3>> finite;
  finite.reserve(static_cast<size_t>(input->GetNumberOfPoints()));
  for (vtkIdType i = 0; i < input->GetNumberOfPoints(); ++i) {
    const double* p = input->GetPoint(i);
    if (IsFinite(p)) finite.push_back({p[0], p[1], p[2]});
  }
  if (finite.size() < static_cast<size_t>(kMinimumPoints)) return;
  const std::vector<std::array<int32_t, 3>> triangles = ReconstructSurface(finite);
  if (triangles.empty()) return;

  vtkNew<vtkPoints> vertices;
  vertices->SetDataTypeToDouble();
  vertices->SetNumberOfPoints(static_cast<vtkIdType>(finite.size()));
  for (size_t i = 0; i < finite.size(); ++i)
    vertices->SetPoint(static_cast<vtkIdType>(i), finite[i].data());
  vtkNew<vtkCellArray> polygons;
  polygons->AllocateExact(static_cast<vtkIdType>(triangles.size()),
                          static_cast<vtkIdType>(triangles.size()) * 3);
  for (const auto& triangle : triangles) {
    const vtkIdType corners[3] = {triangle[0], triangle[1], triangle[2]};
    polygons->InsertNextCell(3, corners);
  }
  m_Output = vtkPolyData::New();
  m_Output->SetPoints(vertices);
  m_Output->SetPolys(polygons);
}

// ---------------------------------------------------------------------------------------
// CNimbex::MeshFilter and CNimbex::BuildMeshOverview

int CNimbex::MeshFilter(double radius, char* outputPath, int* cancel, CProgressSink* progress,
                        CTextSink* status) {
  m_LastError.clear();
  if (m_Version < 0) return Fail("the stream " + m_FileName + " is not open");
  // The unset radius stands for the linear density, as for the clean filter, so that a
  // caller without a radius still gets a mesh.
  if (IsUnset(radius)) radius = m_LinearDensity;
  if (!CFilteredStream::IsRadius(radius)) return Fail(CFilteredStream::NotARadius(radius));

  CFilteredStream stream(*this, 0, 1);
  const std::string refusal = stream.Prepare(outputPath);
  if (!refusal.empty()) return Fail(refusal);
  std::string problem =
      stream.FilterItems([&](int id) { return MeshItem(*this, id, radius, stream); },
                         "Meshing items", cancel, progress, status);
  if (problem.empty()) problem = stream.Finish(m_LinearDensity, cancel, progress, status);
  return problem.empty() ? 1 : Fail(problem);
}

int CNimbex::BuildMeshOverview() {
  m_LastError.clear();
  if (m_Version < 0) return Fail("the stream " + m_FileName + " is not open");
  if (m_Depth == 0) return Fail(m_FileName + " has grid depth 0: it has no overview levels");
  if (!m_HasTri)
    return Fail(m_FileName +
                " holds no triangles: only the overviews of a mesh stream are built "
                "from its meshes");

  // Copies: the index in memory is read again once the header is rewritten.
  std::vector<Item> records(m_Items);
  std::sort(records.begin(), records.end(),
            [](const Item& a, const Item& b) { return a.id < b.id; });
  std::vector<Item*> items;
  for (Item& record : records) items.push_back(&record);

  const double elevation[2] = {m_ElevationRange[0] + m_Offset[2],
                               m_ElevationRange[1] + m_Offset[2]};
  const std::string pciPath = m_Paths[PCI_FILE];
  WriteStrmHeaderFile(pciPath.c_str(), m_Version, m_IsTerrain, m_PointsCount, m_Bounds, m_Offset,
                      m_Depth, GetClassCount(), m_ClassesPoints.data(), m_LinearDensity,
                      static_cast<int>(records.size()), 0, m_IntensityRange, m_CVM, elevation,
                      m_BorderCopiesCount);
  std::FILE* header = std::fopen(pciPath.c_str(), "rb+");
  if (!header)
    return Fail("cannot rewrite the stream header " + pciPath + ": " + std::strerror(errno));
  std::fseek(header, 0, SEEK_END);
  const bool indexWritten =
      std::fwrite(records.data(), sizeof(Item), records.size(), header) == records.size();

  CContainer container(*m_Container);
  CStreamCreator creator;
  creator.SetOutputFileName(m_FileName.c_str());
  creator.SetGridDepth(m_Depth);
  creator.SetContainer(&container);
  creator.PutMergingDoneOutside(1);
  creator.PutTerrain(m_IsTerrain);
  creator.PutRgb(0);
  creator.PutTri(1);
  creator.PutRif(0);
  std::FILE* files[ST_COUNT] = {std::fopen(m_Paths[STRM_FILE].c_str(), "rb"), nullptr, nullptr};
  files[1] = std::fopen(m_Paths[TRI_FILE].c_str(), "rb");
  const int overviewed = files[0] && files[1] && indexWritten &&
                         creator.FourthStep_Overviewing(
                             &items, header, files[0], files[1], files[2], files[3], files[4],
                             files[5], files[6], nullptr, nullptr, nullptr, nullptr, nullptr);
  for (std::FILE* file : files)
    if (file) std::fclose(file);
  const bool headerClosed = std::fclose(header) == 0;
  creator.SetContainer(nullptr);

  const std::string name = m_FileName;
  if (!overviewed || !headerClosed)
    return Fail("cannot rebuild the overview levels of " + name + ": " +
                (creator.GetLastError().empty() ? "writing failed (is the disk full?)"
                                                : creator.GetLastError()));
  // The levels in memory are those of the old header.
  if (!OpenStrmCloud())
    return Fail("the overview levels of " + name +
                " were rebuilt but the stream cannot be opened again: " + m_LastError);
  return 1;
}
