#include "ProjectImages.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "DataFolder.h"
#include "ImageSources.h"
#include "ProjectFiles.h"
#include "Thumbnail.h"
#include "common/progress/ProgressTimeToComplete.h"

namespace fs = std::filesystem;

namespace {

bool IsThumbnail(const std::string& path) {
  return IsThumbnailName(fs::path(path).filename().string());
}

bool CanBeRead(const fs::path& path) {
  return fs::is_regular_file(path) && std::ifstream(path).good();
}

}  // namespace

int CProjectImages::InitImages(const std::string& projectPath, bool reset,
                               TProgressTimeToComplete* progress,
                               const std::function<void()>& showProgress) {
  if (reset) {
    m_Images.clear();
    m_TexturedModels.clear();
  }
  const std::string dataFolder = MakeDataFolderName(projectPath);
  const std::string extension = GetImageExtension(dataFolder);
  if (progress) {
    progress->m_Text = "Initialize project images...";
    progress->RestartTimer();
    progress->SetRange(0, 100);
    progress->SetPos(0);
  }
  const std::vector<std::string> files = ListDataFolderFiles(dataFolder, extension, true);
  if (std::all_of(files.begin(), files.end(), IsThumbnail)) return 0;
  bool shown = false;
  for (size_t index = 0; index < files.size(); ++index) {
    if (progress) progress->SetPos(static_cast<int>(index * 100 / files.size()));
    const std::string& file = files[index];
    if (!IsThumbnail(file)) {
      const std::string thumbnail = MakeFileName(PFK_THUMBNAIL, file);
      if (!fs::exists(thumbnail)) {
        if (!shown && showProgress) showProgress();
        shown = true;
        std::string error;
        WriteThumbnail(ReadPicture(file, error), BADGE_NONE, std::string(), thumbnail);
      }
      if (std::find(m_Images.begin(), m_Images.end(), file) == m_Images.end())
        m_Images.push_back(file);
    }
    if (CanBeRead(fs::path(dataFolder) / (BaseName(file) + ".vtp")))
      m_TexturedModels.insert(BaseName(file));
  }
  if (progress) {
    progress->m_Text.clear();
    progress->SetPos(0);
  }
  return static_cast<int>(m_Images.size());
}

// The photograph an orientation belongs to: the listed photograph of that base name (whatever
// the case of its extension), else "<data folder>/<name>.<the folder's image extension>".
std::string CProjectImages::OrientedImagePath(const std::string& dataFolder,
                                              const std::string& baseName,
                                              const std::string& extension) const {
  const auto listed = std::find_if(m_Images.begin(), m_Images.end(), [&](const std::string& image) {
    return BaseName(image) == baseName;
  });
  if (listed != m_Images.end()) return *listed;
  return (fs::path(dataFolder) / (baseName + "." + extension)).string();
}

int CProjectImages::LoadOrientations(const std::string& projectPath, bool reset) {
  if (reset) m_Orientations.clear();
  const std::string dataFolder = MakeDataFolderName(projectPath);
  const std::string extension = GetImageExtension(dataFolder);
  for (const std::string& interior : ListDataFolderFiles(dataFolder, "int", true)) {
    COrientation orientation(1);
    if (!orientation.ReadINT(interior) ||
        !orientation.ReadEST(fs::path(interior).replace_extension(".est")))
      continue;
    m_Orientations[OrientedImagePath(dataFolder, BaseName(interior), extension)] = orientation;
  }
  return static_cast<int>(m_Orientations.size());
}

const COrientation* CProjectImages::GetOrientation(const std::string& image) const {
  const auto found = m_Orientations.find(image);
  return found == m_Orientations.end() ? nullptr : &found->second;
}
