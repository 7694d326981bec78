#include "ImportReports.h"

#include "app/widgets/ReportDlg.h"

CReportDlg* MakeUnorientedImagesReport(const std::vector<std::string>& sources, QWidget* parent) {
  const std::vector<MissingOrientation> unoriented = FindUnorientedSources(sources);
  if (unoriented.empty()) return nullptr;
  auto* report = new CReportDlg("Warning: following images have not orientation",
                                {"Image", "int not found", "est not found"}, parent);
  for (const MissingOrientation& missing : unoriented)
    report->AddRow({QString::fromStdString(missing.source), missing.interiorMissing ? "X" : "",
                    missing.exteriorMissing ? "X" : ""});
  return report;
}

CReportDlg* MakeProblemsReport(const QString& title, const ProblemList& problems, QWidget* parent) {
  auto* report = new CReportDlg(title, {"Image", "Problem"}, parent);
  for (const auto& [source, problem] : problems)
    report->AddRow({QString::fromStdString(source), QString::fromStdString(problem)});
  return report;
}
