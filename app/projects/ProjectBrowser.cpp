#include "ProjectBrowser.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <system_error>

#include "Thumbnail.h"

namespace fs = std::filesystem;

const char* const kNoProjectDataMessage =
    "Error: no data are present into the database for this project!";
const char* const kProjectOpenErrorMessage = "Error opening the project";

namespace {

const cv::Scalar kNoPictureGrey(40, 40, 40);

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Where a stored path was looked for: the file found, or why none was.
struct Lookup {
  StreamState state = StreamState::Unknown;
  fs::path found;
};

// The entry of `folder` whose name equals `name` but for case, when there is exactly one.
Lookup FindSpelling(const fs::path& folder, const std::string& name) {
  std::error_code error;
  fs::directory_iterator entry(folder, error);
  Lookup lookup;
  int matches = 0;
  for (; !error && entry != fs::directory_iterator(); entry.increment(error))
    if (EqualIgnoringCase(entry->path().filename().string(), name)) {
      lookup.found = entry->path();
      ++matches;
    }
  if (error) return {};  // a folder that cannot be read: the file may well be there
  lookup.state = matches == 0 ? StreamState::Gone
                              : (matches == 1 ? StreamState::Present : StreamState::Unknown);
  return lookup;
}

// Walks the stored path part by part, taking the stored spelling where it exists and the
// one other spelling where it does not.
Lookup LookUp(const std::string& storedPath) {
  const fs::path path(storedPath);
  if (storedPath.empty() || !path.is_absolute()) return {};
  std::error_code error;
  if (fs::exists(path, error)) return {StreamState::Present, path};
  if (error) return {};
  fs::path found = path.root_path();
  for (const fs::path& part : path.relative_path()) {
    const fs::path exact = found / part;
    const bool exists = fs::exists(exact, error);
    if (error) return {};
    if (exists) {
      found = exact;
      continue;
    }
    const Lookup spelling = FindSpelling(found, part.string());
    if (spelling.state != StreamState::Present) return spelling;
    found = spelling.found;
  }
  return {StreamState::Present, found};
}

// Empty when the file is missing or cannot be decoded.
cv::Mat ReadPicture(const std::string& path) {
  std::error_code error;
  if (path.empty() || !fs::is_regular_file(path, error)) return cv::Mat();
  try {
    return cv::imread(path, cv::IMREAD_COLOR);
  } catch (const cv::Exception&) {
    return cv::Mat();
  }
}

// The picture scaled to fit `size`, keeping its aspect, centred on black.
cv::Mat FitOnBlack(const cv::Mat& picture, cv::Size size) {
  cv::Mat canvas(size, CV_8UC3, cv::Scalar::all(0));
  const double scale = std::min(static_cast<double>(size.width) / picture.cols,
                                static_cast<double>(size.height) / picture.rows);
  const cv::Size fitted(std::clamp(static_cast<int>(picture.cols * scale + 0.5), 1, size.width),
                        std::clamp(static_cast<int>(picture.rows * scale + 0.5), 1, size.height));
  cv::Mat scaled;
  cv::resize(picture, scaled, fitted, 0, 0, cv::INTER_AREA);
  scaled.copyTo(canvas(cv::Rect((size.width - fitted.width) / 2, (size.height - fitted.height) / 2,
                                fitted.width, fitted.height)));
  return canvas;
}

// The stream of the project row `id`, as found on disk; false when the database has no row.
bool FindStoredStream(CDataBaseSql* db, int id, std::string& stream) {
  if (!db) return false;
  CDBRecordProject filter;
  filter.id = id;
  if (db->Select(&filter) == 0) return false;
  const std::string stored = static_cast<const CDBRecordProject*>(db->GetResult(0))->path;
  db->ClearResults();
  stream = LocateStoredFile(stored);
  if (stream.empty()) stream = stored;
  return true;
}

}  // namespace

std::string LocateStoredFile(const std::string& storedPath) {
  const Lookup lookup = LookUp(storedPath);
  return lookup.state == StreamState::Present ? lookup.found.string() : std::string();
}

StreamState GetStreamState(const std::string& storedPath) {
  const Lookup lookup = LookUp(storedPath);
  if (lookup.state != StreamState::Present) return lookup.state;
  std::error_code error;
  return fs::is_regular_file(lookup.found, error) ? StreamState::Present : StreamState::Unknown;
}

std::vector<CBrowserProject> PrepareBrowserProjects(CDataBaseSql& db) {
  CDBRecordProject all;
  db.Select(&all);
  std::vector<CBrowserProject> shown;
  std::vector<int> gone;
  for (int i = 0; i < db.GetResultCount(); ++i) {
    const auto& row = static_cast<const CDBRecordProject&>(*db.GetResult(i));
    const StreamState state = GetStreamState(row.path);
    if (state == StreamState::Gone) gone.push_back(row.id);
    if (state != StreamState::Present) continue;
    CBrowserProject project;
    project.record.CopyFrom(row);
    project.streamPath = LocateStoredFile(row.path);
    project.picturePath = LocateStoredFile(row.thumb_path);
    shown.push_back(std::move(project));
  }
  db.ClearResults();
  for (int id : gone) {
    CDBRecordProject row;
    row.id = id;
    db.Delete(&row);
  }
  return shown;
}

cv::Size GetBrowserPictureSize(int listHeight) {
  const int width = static_cast<int>(0.85 * listHeight);
  return cv::Size(width, width / 4 * 3);
}

cv::Mat MakeBrowserPicture(const std::string& picturePath, const std::string& pictureFolder,
                           cv::Size size) {
  if (size.width <= 0 || size.height <= 0) return cv::Mat();
  cv::Mat picture = ReadPicture(picturePath);
  if (picture.empty())
    picture = ReadPicture((fs::path(pictureFolder) / kPhotoNotAvailablePicture).string());
  if (picture.empty()) return cv::Mat(size, CV_8UC3, kNoPictureGrey);
  return FitOnBlack(picture, size);
}

std::string FormatProjectInfo(const CDBRecordProject& record) {
  return "Project ID: " + std::to_string(record.id) + "\nLocation: " + record.path +
         "\nCreation Date: " + record.creation_date + "\nLast Open: " + record.open_data_time +
         "\nOpened " + std::to_string(record.open_times) +
         " times\nNumber of 3d points: " + std::to_string(record.num_points) +
         "\nNumber of imported images: " + std::to_string(record.num_images);
}

int RunProjectManager(CDataBaseSql* db, const ProjectManagerHost& host) {
  const std::vector<CBrowserProject> projects =
      db ? PrepareBrowserProjects(*db) : std::vector<CBrowserProject>();
  for (;;) {
    const BrowserChoice choice = host.showBrowser(projects);
    std::string stream;
    if (choice.kind == BrowserChoice::Project) {
      if (!FindStoredStream(db, choice.projectId, stream)) {
        host.report(kNoProjectDataMessage, DBMessageKind::Error);
        return 0;
      }
    } else if (choice.kind == BrowserChoice::OtherStream && !choice.otherStream.empty()) {
      stream = choice.otherStream;
    } else {
      return 0;
    }
    if (host.openStream(stream)) return 1;
    host.report(kProjectOpenErrorMessage, DBMessageKind::Warning);
  }
}
