#include "ProjectBuild.h"

#include <vtkDataArray.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "ImageSources.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kPreviewLineLength = 1000;
constexpr size_t kPreviewBytes = 1 << 20;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

BuildInputKind GetModelKind(const std::string& path) {
  const std::string extension = Lower(fs::path(path).extension().string());
  if (extension == ".vtp") return BIK_VTP;
  if (extension == ".ptx") return BIK_PTX;
  if (extension == ".las") return BIK_LAS;
  return BIK_NONE;
}

std::string CheckModelsToAdd(const std::vector<std::string>& listed,
                             const std::vector<std::string>& added) {
  for (const std::string& model : added)
    if (GetModelKind(model) == BIK_NONE) return kOnlyModelsAllowed;
  if (added.empty()) return {};
  const BuildInputKind kind = GetModelKind(listed.empty() ? added.front() : listed.front());
  for (const std::string& model : added)
    if (GetModelKind(model) != kind) return kModelsOfOneType;
  return {};
}

std::vector<std::string> SelectImageFiles(const std::vector<std::string>& chosen,
                                          std::vector<std::string>& ignored) {
  std::vector<std::string> images;
  for (const std::string& file : chosen)
    (GetImageSourceKind(file) == ImageSourceKind::Unsupported ? ignored : images).push_back(file);
  return images;
}

bool IsValidProjectName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::string MakeBuildOutputPath(const std::string& folder, const std::string& name) {
  if (name.empty()) return folder;
  return (fs::path(folder) / name / (name + ".strm")).string();
}

std::string MakeBuildListPath(const std::string& outputPath) {
  return fs::path(outputPath).replace_extension(".list").string();
}

int WriteBuildList(const std::string& listPath, const std::vector<std::string>& models) {
  std::ofstream list(listPath);
  for (const std::string& model : models) list << model << "\n";
  list.close();
  return list ? 1 : 0;
}

CreateStreamArguments GetCreateStreamArguments(BuildInputKind kind,
                                               const std::string& parseString) {
  CreateStreamArguments arguments;
  switch (kind) {
    case BIK_VTP:
      arguments.inputFormat = "vtp";
      arguments.parseString = parseString;
      arguments.format = SCF_VTP_LIST;
      arguments.passesBounds = true;
      break;
    case BIK_PTX:
      arguments.inputFormat = "ptx";
      arguments.terrain = 1;
      arguments.format = SCF_PTX_LIST;
      arguments.passesBounds = true;
      break;
    case BIK_LAS:
      arguments.inputFormat = "las";
      arguments.parseString = parseString;
      arguments.terrain = 1;
      arguments.passesBounds = true;
      break;
    case BIK_ASCII:
      arguments.inputFormat = "txt";
      arguments.parseString = parseString;
      break;
    case BIK_NONE:
      break;
  }
  return arguments;
}

std::string MakeVtpFieldString(vtkPolyData* model) {
  std::string fields = "xyz";
  vtkPointData* data = model ? model->GetPointData() : nullptr;
  for (int i = 0; data && i < data->GetNumberOfArrays(); ++i) {
    const char* name = data->GetArrayName(i);
    const std::string lower = Lower(name ? name : "");
    if (lower == "rgb")
      fields += "rgb";
    else if (lower == "gray")
      fields += "gray";
    else if (lower == "intensity")
      fields += "i";
  }
  return fields;
}

PreviewStatus ReadPreviewLines(const std::string& path, int count,
                               std::vector<std::string>& lines) {
  lines.clear();
  std::error_code error;
  if (!fs::exists(path, error)) return PreviewStatus::NotFound;
  std::ifstream file(path, std::ios::binary);
  if (!file || fs::is_directory(path, error)) return PreviewStatus::NotOpened;
  // A file without line ends is read no further than the budget.
  std::string line;
  size_t budget = kPreviewBytes;
  char c;
  while (static_cast<int>(lines.size()) < count && budget-- > 0 && file.get(c)) {
    if (c != '\n') {
      if (line.size() < kPreviewLineLength) line += c;
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    line.clear();
  }
  if (!line.empty() && static_cast<int>(lines.size()) < count) lines.push_back(line);
  return PreviewStatus::Ok;
}
