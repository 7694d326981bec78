#include "ProjectBuilder.h"

#include <vtkPolyData.h>

#include <filesystem>
#include <set>

#include "ProjectBuild.h"
#include "nimbex/creation/GlobalBounds.h"
#include "nimbex/creation/LasReader.h"
#include "nimbex/creation/StreamCreator.h"
#include "nimbex/creation/VtpReader.h"
#include "nimbex/format/StrmFiles.h"

namespace fs = std::filesystem;

namespace {

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    if (!seen.insert(line).second) continue;
    if (!text.empty()) text += "\n";
    text += line;
  }
  return text;
}

// Removes the file set of a stream this build wrote and will not keep; its log stays.
void RemoveStreamFiles(const std::string& outputPath) {
  std::error_code ignored;
  for (int kind = 0; kind < STRM_FILE_KIND_COUNT; ++kind)
    fs::remove(GetStrmCompanionName(outputPath, StrmFileKind(kind)), ignored);
}

// The lines that name inputs the build could read only in part. LAS tiles cut short are
// read as far as they go, with a warning: their headers tell which lost points.
std::vector<std::string> FindDamage(const CStreamCreator& creator, BuildInputKind kind,
                                    const std::vector<std::string>& models) {
  std::vector<std::string> damage = creator.GetDamagedInputs();
  if (creator.GetMissingPointsCount() > 0)
    damage.insert(damage.end(), creator.GetInputWarnings().begin(),
                  creator.GetInputWarnings().end());
  for (size_t i = 0; kind == BIK_LAS && i < models.size(); ++i) {
    std::string error;
    const std::unique_ptr<CLasReader> tile = CLasReader::Open(models[i], error);
    if (tile && tile->GetMissingPointCount() > 0)
      damage.insert(damage.end(), tile->GetWarnings().begin(), tile->GetWarnings().end());
  }
  return damage;
}

}  // namespace

CProjectBuilder::CProjectBuilder(CProgressSink* progress, CTextSink* status, int* abort)
    : m_Progress(progress), m_Status(status), m_Abort(abort) {}

BuildOutcome CProjectBuilder::End(BuildOutcome outcome, const std::string& message,
                                  const std::string& reason) {
  m_Message = message;
  m_Reason = reason;
  return outcome;
}

BuildOutcome CProjectBuilder::FindBounds(const std::vector<std::string>& models, double bounds[6],
                                         int& points) {
  std::vector<std::string> unreadable;
  const int found = GetModelKind(models.front()) == BIK_VTP
                        ? GetGlobalBoundsFromVtp(&models, bounds, &points, nullptr, m_Progress,
                                                 m_Status, nullptr, &unreadable, m_Abort)
                        : GetGlobalBoundsFromPtx(&models, bounds, &points, m_Progress, m_Status,
                                                 nullptr, &unreadable, m_Abort);
  if (IsAborted()) return End(BuildOutcome::Stopped, kProcessStopped);
  // Models that hold no readable point leave nothing to build.
  if (!found || points <= 0)
    return End(BuildOutcome::Failed, kNoGlobalBounds, JoinLines(unreadable));
  return BuildOutcome::Built;
}

BuildOutcome CProjectBuilder::MakeProjectFolder(const std::string& outputPath,
                                                const std::string& listPath,
                                                const std::vector<std::string>& models) {
  const fs::path folder = fs::path(outputPath).parent_path();
  std::error_code error;
  fs::create_directories(folder, error);
  if (error)
    return End(BuildOutcome::Failed, kStreamNotCreated,
               "The project folder " + folder.string() + " cannot be made: " + error.message());
  if (!WriteBuildList(listPath, models))
    return End(BuildOutcome::Failed, kStreamNotCreated,
               "The list of models " + listPath + " cannot be written");
  return BuildOutcome::Built;
}

BuildOutcome CProjectBuilder::CreateStream(BuildInputKind kind,
                                           const std::vector<std::string>& models,
                                           const std::string& parse, const std::string& outputPath,
                                           double* bounds, int* points,
                                           const char* stoppedMessage) {
  const std::string listPath = MakeBuildListPath(outputPath);
  const BuildOutcome made = MakeProjectFolder(outputPath, listPath, models);
  if (made != BuildOutcome::Built) return made;
  std::string fields = parse;
  if (kind == BIK_VTP) {
    std::string error;
    vtkSmartPointer<vtkPolyData> first = ReadVtpModel(models.front(), error);
    if (!first) {
      fs::remove(listPath);
      return End(BuildOutcome::Failed, kInputModelUnreadable, error);
    }
    fields = MakeVtpFieldString(first);
  }
  const CreateStreamArguments arguments = GetCreateStreamArguments(kind, fields);
  if (m_Progress) m_Progress->SetPos(0);
  CStreamCreator creator;
  const int built = creator.CreateStream(
      listPath, arguments.inputFormat, arguments.parseString, arguments.terrain,
      arguments.geoTransform, arguments.utmZone, arguments.listOfFiles, outputPath, m_Abort,
      arguments.format, arguments.passesBounds ? bounds : nullptr,
      arguments.passesBounds ? points : nullptr, nullptr, m_Progress, m_Status, nullptr);
  std::error_code ignored;
  fs::remove(listPath, ignored);
  if (IsAborted()) {
    // A stream the user stopped is not kept, even when the creator had just completed it.
    if (built) RemoveStreamFiles(outputPath);
    return End(BuildOutcome::Stopped, stoppedMessage);
  }
  if (!built) return End(BuildOutcome::Failed, kStreamNotCreated, creator.GetLastError());
  const std::vector<std::string> damage = FindDamage(creator, kind, models);
  if (!damage.empty()) {
    RemoveStreamFiles(outputPath);
    return End(BuildOutcome::Failed, kStreamNotCreated,
               JoinLines(damage) +
                   "\nThe stream would lack their lost points and was not kept: repair or leave "
                   "out these files and build again.");
  }
  return BuildOutcome::Built;
}

BuildOutcome CProjectBuilder::BuildFromModels(const std::vector<std::string>& models,
                                              const std::vector<std::string>& images,
                                              const std::string& outputPath) {
  m_Problems.clear();
  End(BuildOutcome::Built, {});
  if (models.empty() || !CheckModelsToAdd({}, models).empty())
    return End(BuildOutcome::Failed, kOnlyModelsAllowed);
  if (m_Progress) m_Progress->SetPos(0);
  double bounds[6] = {0, 0, 0, 0, 0, 0};
  int points = 0;
  const BuildInputKind kind = GetModelKind(models.front());
  if (kind != BIK_LAS) {
    const BuildOutcome found = FindBounds(models, bounds, points);
    if (found != BuildOutcome::Built) return found;
  }
  const std::string attributes = kind == BIK_LAS ? GetLasParseString(models) : std::string();
  const BuildOutcome created =
      CreateStream(kind, models, attributes, outputPath, bounds, &points, kProcessStopped);
  if (created != BuildOutcome::Built) return created;
  // Without photographs there is nothing to import, and nothing that could stop.
  if (images.empty()) return BuildOutcome::Built;
  const int imported = ImportImages(images, m_Progress, m_Status, m_Problems, m_Abort, outputPath);
  if (imported && !IsAborted()) return BuildOutcome::Built;
  return End(BuildOutcome::ImportStopped, m_Problems.empty() ? kProcessStopped : "");
}

BuildOutcome CProjectBuilder::BuildFromAscii(const std::vector<std::string>& files,
                                             const std::string& parseString,
                                             const std::string& outputPath) {
  m_Problems.clear();
  End(BuildOutcome::Built, {});
  if (files.empty()) return End(BuildOutcome::Failed, kStreamNotCreated, "No file to build from");
  if (parseString.empty()) return End(BuildOutcome::Failed, kSelectFieldOfInterest);
  if (m_Status) m_Status->SetText(kBuildFromTxtTitle);
  if (m_Progress) m_Progress->SetPos(0);
  return CreateStream(BIK_ASCII, files, parseString, outputPath, nullptr, nullptr,
                      kCreateStreamStopped);
}
