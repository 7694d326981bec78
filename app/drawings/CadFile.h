// Drawing files. DXF is read and written through OGR's DXF driver (text DXF of every version;
// binary DXF is refused); DWG is read through OGR's CAD driver, which knows the R2000 format
// (AC1015) only: DWG files of R13/R14 and of 2004 and later are refused with a message that
// names their version. No library here writes DWG, so a drawing is always saved as DXF.
#pragma once

#include <string>

#include "CadDrawing.h"

class CProgressSink;

// Steps of CadFileOpen, for a progress range 0 - kCadOpenSteps.
constexpr int kCadOpenSteps = 6;

// Reads a DXF or DWG file into `drawing`, replacing what it held; its file name becomes
// `path`, and it is neither dirty nor read-only. Block inserts are expanded into the
// entities of their blocks; curves come as the polylines the drivers approximate them by
// (circles of a DWG stay circles); entities of paper space (sheet layouts, in sheet units)
// are left out. 1 on success; 0 with `error` telling what failed and what to do, and the
// drawing untouched.
int CadFileOpen(CCadDrawing& drawing, const std::string& path, std::string& error,
                CProgressSink* progress = nullptr);

// Writes the drawing as DXF to `path` (layers with their colours and visibility, points,
// lines, polylines, rectangles and circles as polylines, texts; images stay in their own
// files and are not written). 1 on success; 0 with `error`, and no file left at `path` when
// it did not exist before.
int CadFileSaveAs(const CCadDrawing& drawing, const std::string& path, std::string& error);

// Where "Save" writes a drawing whose file is `fileName`: the file itself for a DXF, else the
// DXF of the same name beside it (a DWG, or the image under an orthophoto's drawing, is never
// overwritten with DXF content).
std::string CadSavePath(const std::string& fileName);

// The colour index of a colour (red in the low byte) that OGR gives: the index whose
// colour it is, else the nearest one. Black is the index 7 of drawings made on white paper.
int CadColorIndexOf(unsigned color);
