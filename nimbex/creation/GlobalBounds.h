// Bounds passes over model and scan files: the world box and point count a stream build
// needs before gridding, and the point spacing of models.
#pragma once

#include <string>
#include <vector>

#include "nimbex/platform/Sinks.h"

class vtkPolyData;

// Every pass takes what it can read: `problems`, when given, receives a line for each file
// that could not be read or was cut short, naming it and where reading stopped. A non-zero
// `*cancel` (the caller's Abort, set while the pass lets window messages through) stops the
// pass between files, and within a scan file, and the pass returns 0.

// VTP models (with their "vtw" offsets). `gsd`, when given, receives the mean of the models'
// spacings ("ini" companion, or measured). 0 for a null or empty list or null bounds.
int GetGlobalBoundsFromVtp(const std::vector<std::string>* files, double* bounds, int* pointsCount,
                           double* gsd, CProgressSink* progress, CTextSink* status,
                           CTextSink* percent, std::vector<std::string>* problems = nullptr,
                           const int* cancel = nullptr);
// PTX scans, their points transformed as gridding transforms them.
int GetGlobalBoundsFromPtx(const std::vector<std::string>* files, double* bounds, int* pointsCount,
                           CProgressSink* progress, CTextSink* status, CTextSink* percent,
                           std::vector<std::string>* problems = nullptr,
                           const int* cancel = nullptr);
// ASCII point files (PTS blocks or the version 2.0 scanner format).
int GetGlobalBoundsFromAscii(const std::vector<std::string>* files, double* bounds,
                             int* pointsCount, CProgressSink* progress, CTextSink* status,
                             CTextSink* percent, std::vector<std::string>* problems = nullptr,
                             const int* cancel = nullptr);

// Mean distance between neighbouring points of a model, over a sample of its points; 0 for
// fewer than 2 points.
double ComputeGroundStep(vtkPolyData* model);
