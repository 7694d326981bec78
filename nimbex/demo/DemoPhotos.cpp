#include "nimbex/demo/DemoPhotos.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <thread>

#include "nimbex/demo/DemoRandom.h"
#include "nimbex/demo/DemoScene.h"
#include "nimbex/demo/DemoTexturedModel.h"
#include "nimbex/demo/PhotoRenderer.h"
#include "nimbex/platform/Sinks.h"

namespace fs = std::filesystem;

namespace {

constexpr int kJpegQuality = 92;

// A nadir photograph with its exterior orientation comes with the textured model of the
// ground it sees.
bool HasTexturedGround(const DemoShot& shot) {
  return shot.kind == DemoShotKind::Nadir && shot.withExterior;
}

// The photograph and its orientation files, whether or not the shot gets its ".est": an old
// ".est" beside a photograph that should have none would orient it. Then its textured model.
std::vector<fs::path> FilesOf(const DemoShot& shot, const fs::path& folder) {
  const fs::path photo = folder / shot.name;
  std::vector<fs::path> files = {photo, fs::path(photo).replace_extension(".int"),
                                 fs::path(photo).replace_extension(".est")};
  if (HasTexturedGround(shot))
    for (const char* extension : {".vtp", ".tex"})
      files.push_back(fs::path(photo).replace_extension(extension));
  return files;
}

bool WriteBytes(const fs::path& path, const std::vector<uchar>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

bool SetFileTime(const fs::path& path, int64_t time) {
  const timespec times[2] = {{time_t(time), 0}, {time_t(time), 0}};
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

// Renders one shot and writes its photograph and orientation files, dated when it was taken.
// Every file made is added to `written`, also on failure.
bool MakePhoto(const CDemoScene& scene, DemoShot& shot, uint64_t seed, const fs::path& folder,
               std::vector<fs::path>& written, std::string& error) {
  const RenderedPhoto photo = RenderDemoPhoto(scene, shot.orientation, seed);
  const double focalInPixels = shot.orientation.GetFocalLength() / shot.orientation.GetPixelSize();
  shot.orientation.SetMeanGSD(photo.meanDepth / focalInPixels);

  const std::vector<fs::path> files = FilesOf(shot, folder);
  std::vector<uchar> jpeg;
  if (!cv::imencode(".jpg", photo.image, jpeg, {cv::IMWRITE_JPEG_QUALITY, kJpegQuality})) {
    error = "cannot encode " + files[0].string() + " as JPEG";
    return false;
  }
  written.push_back(files[0]);
  if (!WriteBytes(files[0], jpeg)) {
    error = "cannot write " + files[0].string() + ": check the free space and the permissions";
    return false;
  }
  for (size_t i = 1; i < 3; ++i) {
    if (i == 2 && !shot.withExterior) break;
    written.push_back(files[i]);
    const int done =
        i == 1 ? shot.orientation.WriteINT(files[i]) : shot.orientation.WriteEST(files[i]);
    if (!done) {
      error = "cannot write " + files[i].string() + ": check the free space and the permissions";
      return false;
    }
  }
  for (size_t i = 0; i < 3; ++i)
    if ((i < 2 || shot.withExterior) && !SetFileTime(files[i], shot.time)) {
      error = "cannot set the time of " + files[i].string();
      return false;
    }
  if (!HasTexturedGround(shot)) return true;
  written.insert(written.end(), files.begin() + 3, files.end());
  const COrientation::Point3& centre = shot.orientation.GetN();
  const COrientation::Point3& origin = scene.GetOrigin();
  const double ground =
      origin.Z() + scene.GroundHeight(centre.X() - origin.X(), centre.Y() - origin.Y());
  return WriteTexturedGround(files[0], shot.orientation, ground, error);
}

void RemoveAll(const std::vector<fs::path>& files) {
  std::error_code ignored;
  for (const fs::path& file : files) fs::remove(file, ignored);
}

std::string ExistingFileProblem(const std::vector<DemoShot>& shots, const fs::path& folder) {
  std::error_code ignored;
  for (const DemoShot& shot : shots)
    for (const fs::path& file : FilesOf(shot, folder))
      if (fs::exists(file, ignored))
        return file.string() + " already exists: give an empty folder, or remove the photographs " +
               "made before";
  return "";
}

}  // namespace

std::string DemoPhotosRequestProblem(const std::string& sitePath, const std::string& outputFolder,
                                     const DemoPhotoSettings& settings) {
  if (settings.count < 1 || settings.count > kMaxDemoPhotos)
    return "the number of photographs must be between 1 and " + std::to_string(kMaxDemoPhotos) +
           ", not " + std::to_string(settings.count);
  if (!(settings.sizeFactor > 0 && settings.sizeFactor <= 1))
    return "the size factor must be above 0 and at most 1";
  std::error_code ignored;
  if (!fs::is_regular_file(sitePath, ignored))
    return sitePath + " is not a file: give the LAS file of a site (nimbex demo-site makes one)";
  if (outputFolder.empty()) return "no output folder given";
  if (fs::exists(outputFolder, ignored) && !fs::is_directory(outputFolder, ignored))
    return outputFolder + " is not a folder: give the folder to write the photographs into";
  return "";
}

bool WriteDemoPhotos(const std::string& sitePath, const std::string& outputFolder,
                     const DemoPhotoSettings& settings, CProgressSink* progress, CTextSink* status,
                     std::vector<DemoShot>& shots, std::string& error) {
  shots.clear();
  error = DemoPhotosRequestProblem(sitePath, outputFolder, settings);
  if (!error.empty()) return false;
  CDemoScene scene;
  if (!scene.Load(sitePath, progress, status, error)) return false;
  std::vector<DemoShot> planned =
      PlanDemoShots(scene, settings.count, settings.seed, settings.sizeFactor);
  const fs::path folder(outputFolder);
  error = ExistingFileProblem(planned, folder);
  if (!error.empty()) return false;
  std::error_code folderError;
  fs::create_directories(folder, folderError);
  if (folderError) {
    error = "cannot make the folder " + outputFolder + ": " + folderError.message();
    return false;
  }

  if (status) status->SetText("Rendering " + std::to_string(planned.size()) + " photographs");
  if (progress) progress->SetRange(0, int(planned.size()));
  // Two photographs at a time when the machine has two cores: each has its own buffers and
  // files, and shares only the scene, which nothing changes any more.
  const size_t together = std::thread::hardware_concurrency() > 1 ? 2 : 1;
  std::vector<fs::path> written;
  for (size_t first = 0; first < planned.size(); first += together) {
    const size_t count = std::min(together, planned.size() - first);
    std::vector<std::vector<fs::path>> files(count);
    std::vector<std::string> problems(count);
    std::vector<char> made(count, 0);
    auto make = [&](size_t k) {
      const size_t index = first + k;
      made[k] = MakePhoto(scene, planned[index], Mix(settings.seed, index), folder, files[k],
                          problems[k]);
    };
    std::thread second;
    if (count > 1) second = std::thread(make, 1);
    make(0);
    if (second.joinable()) second.join();
    for (size_t k = 0; k < count; ++k)
      written.insert(written.end(), files[k].begin(), files[k].end());
    for (size_t k = 0; k < count; ++k)
      if (!made[k]) {
        error = problems[k];
        RemoveAll(written);
        return false;
      }
    if (progress) progress->SetPos(int(first + count));
  }
  shots = std::move(planned);
  return true;
}
