// The photographs of an opened project: the image list in data-folder order with their
// thumbnails, and the images that come with a textured model.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

class TProgressTimeToComplete;

class CProjectImages {
 public:
  // Fills the image list from the data folder of the project `projectPath`, making the
  // thumbnails that are missing (`showProgress` is called once before the first is made;
  // `progress` runs over 0 … 100), and the textured-model set. With `reset` the list and
  // the set are emptied first. Returns the number of images in the list.
  int InitImages(const std::string& projectPath, bool reset,
                 TProgressTimeToComplete* progress = nullptr,
                 const std::function<void()>& showProgress = {});

  // Full paths of the photographs, thumbnails excluded, sorted by name.
  const std::vector<std::string>& GetImages() const { return m_Images; }
  // Base names of the photographs that have a "<image>.vtp" textured model.
  const std::set<std::string>& GetTexturedModels() const { return m_TexturedModels; }

 private:
  std::vector<std::string> m_Images;
  std::set<std::string> m_TexturedModels;
};
