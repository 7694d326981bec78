#include "nimbex/creation/GlobalBounds.h"

#include <vtkIdList.h>
#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <functional>

#include "nimbex/creation/AsciiModel.h"
#include "nimbex/creation/PtxReader.h"
#include "nimbex/creation/VtpReader.h"
#include "nimbex/platform/Hooks.h"

namespace {

constexpr int kGroundStepSamples = 100;
// Scan points read between two looks at the window messages and the cancel flag.
constexpr long long kPumpInterval = 1 << 16;

bool IsCancelled(const int* cancel) {
  return cancel && *cancel;
}

struct Box {
  double bounds[6] = {1e10, -1e10, 1e10, -1e10, 1e10, -1e10};
  long long points = 0;

  void Widen(double x, double y, double z) {
    const double p[3] = {x, y, z};
    for (int d = 0; d < 3; ++d) {
      bounds[2 * d] = std::min(bounds[2 * d], p[d]);
      bounds[2 * d + 1] = std::max(bounds[2 * d + 1], p[d]);
    }
  }
};

// Runs `visit` on every file with the progress of a bounds pass, then hands the box back.
// Moving the progress lets the window messages through, so the cancel flag is looked at
// after each move and after each file.
int RunBoundsPass(const std::vector<std::string>* files, double* bounds, int* pointsCount,
                  CProgressSink* progress, CTextSink* status, CTextSink* percent, const int* cancel,
                  const std::function<void(const std::string&, Box&)>& visit) {
  if (!files || !bounds || files->empty()) return 0;
  const int count = static_cast<int>(files->size());
  if (progress) {
    progress->SetRange(0, count);
    progress->SetPos(0);
  }
  if (status) status->SetText("Finding global bounds...");
  Box box;
  for (int i = 0; i < count; ++i) {
    if (progress) progress->SetPos(i);
    if (percent) {
      char text[16];
      std::snprintf(text, sizeof text, "%.0lf%%", (i + 1) * 100.0 / count);
      percent->SetText(text);
    }
    if (IsCancelled(cancel)) return 0;
    visit((*files)[i], box);
    if (IsCancelled(cancel)) return 0;
  }
  if (progress) progress->SetPos(0);
  std::copy(box.bounds, box.bounds + 6, bounds);
  if (pointsCount) *pointsCount = static_cast<int>(std::min<long long>(box.points, INT_MAX));
  return 1;
}

}  // namespace

double ComputeGroundStep(vtkPolyData* model) {
  const vtkIdType count = model ? model->GetNumberOfPoints() : 0;
  if (count < 2) return 0.0;
  vtkNew<vtkPointLocator> locator;
  locator->SetDataSet(model);
  locator->BuildLocator();
  vtkNew<vtkIdList> closest;
  const vtkIdType stride = std::max<vtkIdType>(1, count / kGroundStepSamples);
  double sum = 0.0;
  int counted = 0;
  for (vtkIdType i = 0; i < count; i += stride) {
    double p[3], q[3];
    model->GetPoint(i, p);
    locator->FindClosestNPoints(2, p, closest);
    if (closest->GetNumberOfIds() < 2) continue;
    model->GetPoint(closest->GetId(1), q);
    sum += std::sqrt(vtkMath::Distance2BetweenPoints(p, q));
    ++counted;
  }
  return counted ? sum / counted : 0.0;
}

int GetGlobalBoundsFromVtp(const std::vector<std::string>* files, double* bounds, int* pointsCount,
                           double* gsd, CProgressSink* progress, CTextSink* status,
                           CTextSink* percent, std::vector<std::string>* problems,
                           const int* cancel) {
  double spacingSum = 0.0;
  const int result =
      RunBoundsPass(files, bounds, pointsCount, progress, status, percent, cancel,
                    [&](const std::string& path, Box& box) {
                      double offset[3];
                      ReadVtwOffset(path, offset);
                      std::string error;
                      vtkSmartPointer<vtkPolyData> model = ReadVtpModel(path, error);
                      if (!model) {
                        if (problems) problems->push_back(error);
                        return;
                      }
                      double b[6];
                      model->GetBounds(b);
                      box.Widen(b[0] + offset[0], b[2] + offset[1], b[4] + offset[2]);
                      box.Widen(b[1] + offset[0], b[3] + offset[1], b[5] + offset[2]);
                      box.points += model->GetNumberOfPoints();
                      if (!gsd) return;
                      bool present = false;
                      const double stored = ReadIniGsd(path, present);
                      spacingSum += present ? stored : ComputeGroundStep(model);
                    });
  if (result && gsd) *gsd = spacingSum / static_cast<double>(files->size());
  return result;
}

int GetGlobalBoundsFromPtx(const std::vector<std::string>* files, double* bounds, int* pointsCount,
                           CProgressSink* progress, CTextSink* status, CTextSink* percent,
                           std::vector<std::string>* problems, const int* cancel) {
  return RunBoundsPass(files, bounds, pointsCount, progress, status, percent, cancel,
                       [&](const std::string& path, Box& box) {
                         CPtxReader reader;
                         reader.Open(path);
                         PtxScan scan;
                         PtxPoint point;
                         long long read = 0;
                         while (reader.NextScan(scan))
                           while (reader.NextPoint(point)) {
                             if (++read % kPumpInterval == 0) {
                               PumpMsgs();
                               if (IsCancelled(cancel)) return;
                             }
                             if (!point.valid) continue;
                             double x = point.x, y = point.y, z = point.z;
                             if (!TransformPtxPoint(scan, x, y, z)) continue;
                             box.Widen(x, y, z);
                             ++box.points;
                           }
                         const std::string stop = reader.GetStopReport();
                         if (problems && !stop.empty()) problems->push_back(stop);
                       });
}

int GetGlobalBoundsFromAscii(const std::vector<std::string>* files, double* bounds,
                             int* pointsCount, CProgressSink* progress, CTextSink* status,
                             CTextSink* percent, std::vector<std::string>* problems,
                             const int* cancel) {
  return RunBoundsPass(files, bounds, pointsCount, progress, status, percent, cancel,
                       [&](const std::string& path, Box& box) {
                         AsciiModelInfo info;
                         double b[6];
                         if (!ReadAsciiModelBox(path, info, b)) {
                           if (problems) problems->push_back(SkippedModelReport(path, info));
                           return;
                         }
                         if (info.points == 0) return;
                         box.Widen(b[0], b[2], b[4]);
                         box.Widen(b[1], b[3], b[5]);
                         box.points += info.points;
                       });
}
