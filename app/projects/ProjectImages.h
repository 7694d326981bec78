// The photographs of an opened project: the image list in data-folder order with their
// thumbnails, each photograph's orientation, and the images that come with a textured model.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "nimbex/platform/Orientation.h"

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

  // Reads the orientation of each photograph of the data folder from its ".int" and ".est"
  // files; a photograph whose files are missing or damaged has none. With `reset` the
  // orientations read before are dropped first. Returns the number of orientations.
  int LoadOrientations(const std::string& projectPath, bool reset);

  // Full paths of the photographs, thumbnails excluded, sorted by name.
  const std::vector<std::string>& GetImages() const { return m_Images; }
  // Base names of the photographs that have a "<image>.vtp" textured model.
  const std::set<std::string>& GetTexturedModels() const { return m_TexturedModels; }
  // The orientations by photograph path.
  const std::map<std::string, COrientation>& GetOrientations() const { return m_Orientations; }
  // The orientation of the photograph `image`, or null when it has none.
  const COrientation* GetOrientation(const std::string& image) const;

 private:
  std::string OrientedImagePath(const std::string& dataFolder, const std::string& baseName,
                                const std::string& extension) const;

  std::vector<std::string> m_Images;
  std::map<std::string, COrientation> m_Orientations;
  std::set<std::string> m_TexturedModels;
};
