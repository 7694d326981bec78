// An orthophoto in the drawing pane: the picture read through GDAL, placed by its world file
// or its own georeference.
//
// The image is opened read-only and never rewritten. An image larger than 512 pixels without
// overviews gets them (nearest neighbour, factors from OverviewFactors) in an external ".ovr"
// file beside it, so that a zoomed-out view reads little; when that file cannot be written the
// orthophoto is still shown, read from the full image.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "CadRasterSource.h"

class CProgressSink;

// The user data that marks an orthophoto's image entity.
constexpr int kOrthophotoUserData = 1001;

// The picture of an orthophoto: grey, grey and alpha, red-green-blue (and alpha) bands, or a
// palette. Values other than bytes are stretched over the range of the bands' values.
class CCadOrthoSource : public CCadRasterSource {
 public:
  explicit CCadOrthoSource(GdalDatasetPtr dataset);

 protected:
  QImage ReadTile(int level, const QRect& rect) override;

 private:
  std::vector<GDALRasterBand*> m_ColourBands;  // one (grey or palette) or three
  GDALRasterBand* m_AlphaBand = nullptr;
  double m_Low = 0, m_High = 255;
};

class CadOrthoData {
 public:
  // Opens the orthophoto, building its overviews when it needs them (their progress in
  // percent). 0 with `error` set (what failed, on which file) when GDAL cannot open or read
  // it, or its world file is bad.
  int Open(const std::filesystem::path& path, std::string& error,
           CProgressSink* progress = nullptr);

  const std::filesystem::path& GetPath() const { return m_Path; }
  const CadRasterPlacement& GetPlacement() const { return m_Placement; }
  std::shared_ptr<CCadOrthoSource> GetSource() const { return m_Source; }
  int GetOverviewCount() const { return m_OverviewCount; }
  // What the user should know about the opening: overviews built or not, rotation terms not
  // applied; empty when there is nothing to say.
  const std::string& GetNote() const { return m_Note; }

  // Adds the orthophoto to the drawing as a locked image entity (user data 1001).
  unsigned Place(CCadDrawing& drawing) const;

 private:
  int BuildOverviews(GdalDatasetPtr& dataset, CProgressSink* progress);
  void AddNote(const std::string& note);

  std::filesystem::path m_Path;
  CadRasterPlacement m_Placement;
  std::shared_ptr<CCadOrthoSource> m_Source;
  int m_OverviewCount = 0;
  std::string m_Note;
};
