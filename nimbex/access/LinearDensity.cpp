// The linear density of a stream: the typical distance between neighbouring points.
#include <vtkCellArray.h>
#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <random>
#include <vector>

#include "nimbex/access/Nimbex.h"

namespace {

constexpr int kSampleCount = 10;

// Up to kSampleCount distinct point indices drawn at random; a drawn index already taken
// moves on to the next free one, wrapping round. The draw is seeded the same way every time,
// so that a stream gives the same density each time it is opened and the tools that take it
// as their default radius give the same result run after run.
std::vector<vtkIdType> DrawSample(vtkIdType pointCount) {
  std::minstd_rand generator;
  std::uniform_int_distribution<vtkIdType> index(0, pointCount - 1);
  std::vector<bool> taken(pointCount, false);
  std::vector<vtkIdType> sample;
  for (vtkIdType i = 0; i < std::min<vtkIdType>(kSampleCount, pointCount); ++i) {
    vtkIdType k = index(generator);
    while (taken[k]) k = (k + 1) % pointCount;
    taken[k] = true;
    sample.push_back(k);
  }
  return sample;
}

// Distance from `p` to the nearest point at another position. Duplicate points (overlapping
// scans, a model listed twice) are passed over: they would make the spacing 0 and the
// stream impossible to open. 0 when every point searched lies at `p`.
double NearestOtherDistance(vtkPoints* points, vtkPointLocator* locator, const double p[3],
                            vtkIdList* closest) {
  for (int wanted : {2, 16, 128}) {
    locator->FindClosestNPoints(wanted, p, closest);
    for (vtkIdType i = 1; i < closest->GetNumberOfIds(); ++i) {
      double q[3];
      points->GetPoint(closest->GetId(i), q);
      const double distance = std::sqrt(vtkMath::Distance2BetweenPoints(p, q));
      if (distance > 0) return distance;
    }
    if (closest->GetNumberOfIds() < wanted) break;
  }
  return 0.0;
}

}  // namespace

int CNimbex::SampleMeanSpacing(vtkPoints* points, double& meanSpacing) const {
  const vtkIdType pointCount = points->GetNumberOfPoints();
  if (pointCount < 3) return 0;
  vtkNew<vtkPolyData> polyData;
  polyData->SetPoints(points);
  vtkNew<vtkPointLocator> locator;
  locator->SetDataSet(polyData);
  locator->BuildLocator();

  double sum = 0.0;
  int counted = 0;
  vtkNew<vtkIdList> closest;
  for (vtkIdType index : DrawSample(pointCount)) {
    double p[3];
    points->GetPoint(index, p);
    const double distance = NearestOtherDistance(points, locator, p, closest);
    if (distance <= 0) continue;
    sum += distance;
    ++counted;
  }
  if (counted == 0) return 0;
  meanSpacing = sum / counted;
  return 1;
}

int CNimbex::EvaluateLinearDensity(const CPgon* area, int store) {
  vtkNew<vtkPoints> points;
  vtkNew<vtkCellArray> vertices;
  int loaded = 0;
  if (!area) {
    loaded = LoadItemIO(0, 0, points, vertices, nullptr, nullptr, nullptr, nullptr, nullptr, 1);
  } else {
    int* ids = nullptr;
    int count = 0;
    if (!m_Container || !m_Container->GetItemArray(m_Depth, area, 0, &ids, &count)) return 0;
    Item* fullest = nullptr;
    for (int i = 0; i < count; ++i) {
      Item* item = nullptr;
      if (GetItem(ids[i], item) && (!fullest || item->ptsCount > fullest->ptsCount)) fullest = item;
    }
    delete[] ids;
    if (fullest)
      loaded = LoadItemIO(m_Depth, fullest->id, points, vertices, nullptr, nullptr, nullptr,
                          nullptr, nullptr, 1);
  }
  double density = 0.0;
  if (!loaded || !SampleMeanSpacing(points, density)) return 0;

  if (!area) {
    // The whole-stream item holds a sample of the finest level: scale its spacing down by
    // the subdivisions between them.
    const int cellsPerSplit = 1 << (3 - m_IsTerrain);
    for (int level = 1; level < m_Depth; ++level) density /= cellsPerSplit;
    density *= 1.1;
  }
  m_LinearDensity = density;
  if (store && m_HeaderWriteBack) {
    if (std::FILE* pci = std::fopen(m_Paths[PCI_FILE].c_str(), "rb+")) {
      if (fseeko(pci, m_LinearDensityPosition, SEEK_SET) == 0)
        std::fwrite(&m_LinearDensity, sizeof m_LinearDensity, 1, pci);
      std::fclose(pci);
    }
  }
  return 1;
}
