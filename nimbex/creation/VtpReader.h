// VTK XML polydata models (.vtp) and their "vtw" (offset) and "ini" (point spacing)
// companions.
#pragma once

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <string>

// The offset from the "vtw" file beside the model (same folder and stem, extension "vtw"):
// section "PolyData Offset", keys X, Y, Z. Zero for a missing file or key.
void ReadVtwOffset(const std::string& modelPath, double offset[3]);
// The ground sample distance from the "ini" file beside the model: section
// "Kelvo_CloudData", key GSD, 0 when missing. `present` is false when there is no such file.
double ReadIniGsd(const std::string& modelPath, bool& present);

// Reads a VTK XML polydata file. Null, with the reason in `error`, when the file is missing,
// is not a polydata file VTK can read, is damaged (any error VTK reports while reading),
// declares more data than it can hold, holds no points, a point that is not finite or a cell
// naming a point it does not hold. Text arrays of point and cell data are not read.
vtkSmartPointer<vtkPolyData> ReadVtpModel(const std::string& path, std::string& error);
