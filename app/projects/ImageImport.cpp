#include "ImageImport.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <system_error>

#include "DataFolder.h"
#include "ImageSources.h"
#include "ProjectFiles.h"
#include "Thumbnail.h"
#include "nimbex/platform/Hooks.h"
#include "nimbex/platform/Sinks.h"

namespace fs = std::filesystem;

namespace {

// The files that travel with a photograph from its source folder into the data folder.
const char* const kCompanionExtensions[] = {".int", ".est", ".vtp", ".tex"};
constexpr int kJpegQuality = 95;

enum class Outcome { Handled, NoFreeName };

bool IsPresent(const fs::path& path) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(path, error);
  // A file whose presence cannot be told is taken to be there: it is never overwritten.
  return status.type() != fs::file_type::not_found;
}

// A name is free when no photograph of that name and none of its companions, thumbnail,
// settings or note is in the folder: a stale orientation or note would otherwise be taken
// for the new photograph's own.
bool IsNameTaken(const fs::path& folder, const std::string& name) {
  for (const char* extension : kDataFolderImageExtensions)
    if (IsPresent(folder / (name + "." + extension))) return true;
  const std::string image = (folder / (name + ".jpg")).string();
  for (int kind :
       {PFK_INTERIOR_ORIENTATION, PFK_EXTERIOR_ORIENTATION, PFK_THUMBNAIL, PFK_NOTE, PFK_SETTINGS})
    if (IsPresent(MakeFileName(kind, image))) return true;
  return IsPresent(folder / (name + ".vtp")) || IsPresent(folder / (name + ".tex"));
}

std::string NumberedName(const std::string& baseName, int number) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "_%02d", number);
  return baseName + suffix;
}

// Makes the data folder when missing and checks that photographs can be written into it.
bool PrepareDataFolder(const std::string& dataFolder, std::string& why) {
  std::error_code error;
  fs::create_directories(dataFolder, error);
  if (error) {
    why = "Unable to create the data folder: " + error.message();
    return false;
  }
  if (access(dataFolder.c_str(), W_OK | X_OK) != 0) {
    why = std::string("Unable to write into the data folder: ") + std::strerror(errno);
    return false;
  }
  return true;
}

cv::Mat ReadSource(ImageSourceKind kind, const std::string& source, std::string& error) {
  switch (kind) {
    case ImageSourceKind::Raster:
      return ReadRasterImage(source, error);
    case ImageSourceKind::CameraRaw:
      return ReadCameraRawImage(source, error);
    default:
      return ReadPicture(source, error);
  }
}

// Writes the photograph under `target`: a JPEG source byte for byte, any other as JPEG.
// What was written is removed again when the writing fails.
bool WritePhotograph(ImageSourceKind kind, const std::string& source, const cv::Mat& picture,
                     const fs::path& target, std::string& why) {
  std::error_code error;
  bool written = false;
  if (kind == ImageSourceKind::Jpeg) {
    written = fs::copy_file(source, target, fs::copy_options::none, error);
  } else {
    try {
      written = cv::imwrite(target.string(), picture, {cv::IMWRITE_JPEG_QUALITY, kJpegQuality});
    } catch (const cv::Exception& e) {
      why = e.what();
    }
  }
  if (written) return true;
  if (why.empty()) why = error ? error.message() : "the JPEG encoder failed";
  fs::remove(target, error);
  return false;
}

void CopyCompanions(const std::string& source, const fs::path& target, ProblemList& problems) {
  for (const char* extension : kCompanionExtensions) {
    const fs::path from = fs::path(source).replace_extension(extension);
    if (!fs::is_regular_file(from)) continue;
    const fs::path to = fs::path(target).replace_extension(extension);
    std::error_code error;
    if (!fs::copy_file(from, to, fs::copy_options::none, error))
      problems.emplace_back(from.string(),
                            "Unable to copy to " + to.string() + ": " + error.message());
  }
}

bool HasCompanion(int kind, const std::string& source) {
  return fs::is_regular_file(MakeFileName(kind, source));
}

bool IsOriented(const std::string& source) {
  return HasCompanion(PFK_INTERIOR_ORIENTATION, source) &&
         HasCompanion(PFK_EXTERIOR_ORIENTATION, source);
}

Outcome ImportImage(const std::string& source, const std::string& dataFolder,
                    ProblemList& problems) {
  const ImageSourceKind kind = GetImageSourceKind(source);
  if (kind != ImageSourceKind::Orientation && !IsOriented(source))
    problems.emplace_back(source, kImageNotOriented);
  if (kind == ImageSourceKind::Orientation) {
    // An .xml description names no picture that could be read: nothing is imported.
    problems.emplace_back(source, kImageNotFound);
    return Outcome::Handled;
  }
  if (kind == ImageSourceKind::Unsupported) {
    problems.emplace_back(source, kInvalidImageFormat);
    return Outcome::Handled;
  }
  const std::string name = FindFreeImageName(dataFolder, BaseName(source));
  if (name.empty()) {
    problems.emplace_back(source, kNoFreeImageName);
    return Outcome::NoFreeName;
  }
  std::string why;
  const cv::Mat picture = ReadSource(kind, source, why);
  if (picture.empty()) {
    problems.emplace_back(source,
                          kind == ImageSourceKind::CameraRaw ? kRawImageRefused : kImageNotFound);
    return Outcome::Handled;
  }
  const fs::path target = fs::path(dataFolder) / (name + ".jpg");
  if (!WritePhotograph(kind, source, picture, target, why)) {
    problems.emplace_back(source, "Unable to write " + target.string() + ": " + why);
    return Outcome::Handled;
  }
  CopyCompanions(source, target, problems);
  const std::string thumbnail = MakeFileName(PFK_THUMBNAIL, target.string());
  if (!WriteThumbnail(picture, BADGE_NONE, std::string(), thumbnail))
    problems.emplace_back(source, "Unable to write the thumbnail " + thumbnail);
  return Outcome::Handled;
}

}  // namespace

std::string FindFreeImageName(const std::string& dataFolder, const std::string& baseName) {
  if (!IsNameTaken(dataFolder, baseName)) return baseName;
  for (int number = 1; number <= kMaxImageNameSuffix; ++number) {
    const std::string name = NumberedName(baseName, number);
    if (!IsNameTaken(dataFolder, name)) return name;
  }
  return std::string();
}

std::vector<MissingOrientation> FindUnorientedSources(const std::vector<std::string>& sources) {
  std::vector<MissingOrientation> missing;
  for (const std::string& source : sources) {
    if (GetImageSourceKind(source) == ImageSourceKind::Orientation || IsOriented(source)) continue;
    missing.push_back({source, !HasCompanion(PFK_INTERIOR_ORIENTATION, source),
                       !HasCompanion(PFK_EXTERIOR_ORIENTATION, source)});
  }
  return missing;
}

bool IsImportFailure(const std::pair<std::string, std::string>& problem) {
  return problem.second != kImageNotOriented;
}

int ImportImages(const std::vector<std::string>& sources, CProgressSink* progress,
                 CTextSink* status, ProblemList& problems, const int* stop,
                 const std::string& projectPath) {
  if (sources.empty() || projectPath.empty()) return 0;
  const int count = static_cast<int>(sources.size());
  if (progress) {
    progress->SetRange(0, count);
    progress->SetPos(0);
  }
  if (status) status->SetText("Import images into database...");
  const std::string dataFolder = MakeDataFolderName(projectPath);
  std::string why;
  if (!PrepareDataFolder(dataFolder, why)) {
    problems.emplace_back(dataFolder, why);
    return 0;
  }
  bool stopped = false;
  for (int i = 0; i < count && !stopped; ++i) {
    PumpMsgs();
    if (progress) progress->SetPos(i);
    if (status) {
      char share[32];
      std::snprintf(share, sizeof share, "%.0lf%%", (i + 1) * 100.0 / count);
      status->SetText(share);
    }
    stopped =
        ImportImage(sources[i], dataFolder, problems) == Outcome::NoFreeName || (stop && *stop);
  }
  if (progress) progress->SetPos(0);
  return stopped ? 0 : 1;
}
