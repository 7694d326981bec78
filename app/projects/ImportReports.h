// The reports shown around an import of photographs: which sources lack an orientation file,
// and which met a problem.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "ImageImport.h"

class CReportDlg;
class QWidget;

// "Warning: following images have not orientation", with "X" under "int not found" or "est
// not found" where a source lacks that file; null when every source is oriented.
CReportDlg* MakeUnorientedImagesReport(const std::vector<std::string>& sources, QWidget* parent);
// The report `title` with one row ("Image", "Problem") per problem.
CReportDlg* MakeProblemsReport(const QString& title, const ProblemList& problems, QWidget* parent);
