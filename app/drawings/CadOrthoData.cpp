#include "CadOrthoData.h"

#include <gdal_priv.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "nimbex/platform/Sinks.h"

namespace {

// The bands of the picture: red, green and blue by their colour interpretation (else the first
// three), or the first band alone.
std::vector<GDALRasterBand*> ChooseColourBands(GDALDataset& dataset) {
  const int count = dataset.GetRasterCount();
  if (count < 3) return {dataset.GetRasterBand(1)};
  GDALRasterBand* byColour[3] = {};
  const GDALColorInterp wanted[3] = {GCI_RedBand, GCI_GreenBand, GCI_BlueBand};
  for (int i = 1; i <= count; ++i)
    for (int c = 0; c < 3; ++c)
      if (!byColour[c] && dataset.GetRasterBand(i)->GetColorInterpretation() == wanted[c])
        byColour[c] = dataset.GetRasterBand(i);
  std::vector<GDALRasterBand*> bands;
  for (int c = 0; c < 3; ++c)
    bands.push_back(byColour[c] ? byColour[c] : dataset.GetRasterBand(c + 1));
  return bands;
}

GDALRasterBand* FindAlphaBand(GDALDataset& dataset) {
  for (int i = 1; i <= dataset.GetRasterCount(); ++i)
    if (dataset.GetRasterBand(i)->GetColorInterpretation() == GCI_AlphaBand)
      return dataset.GetRasterBand(i);
  return nullptr;
}

bool IsPalette(GDALRasterBand* band) {
  return band->GetColorInterpretation() == GCI_PaletteIndex && band->GetColorTable();
}

int ForwardProgress(double done, const char*, void* data) {
  if (data) static_cast<CProgressSink*>(data)->SetPos(static_cast<int>(done * 100 + 0.5));
  return TRUE;
}

uchar Stretch(float value, double low, double scale) {
  if (!std::isfinite(value)) return 0;
  return static_cast<uchar>(std::clamp((value - low) * scale, 0.0, 255.0) + 0.5);
}

}  // namespace

CCadOrthoSource::CCadOrthoSource(GdalDatasetPtr dataset) : CCadRasterSource(std::move(dataset)) {
  m_ColourBands = ChooseColourBands(GetDataset());
  m_AlphaBand = FindAlphaBand(GetDataset());
  const bool bytes = std::all_of(m_ColourBands.begin(), m_ColourBands.end(),
                                 [](auto* band) { return band->GetRasterDataType() == GDT_Byte; });
  if (bytes || IsPalette(m_ColourBands[0])) return;
  m_Low = std::numeric_limits<double>::max();
  m_High = std::numeric_limits<double>::lowest();
  for (GDALRasterBand* band : m_ColourBands) {
    double range[2];
    CPLPushErrorHandler(CPLQuietErrorHandler);
    const bool known = band->ComputeRasterMinMax(TRUE, range) == CE_None;
    CPLPopErrorHandler();
    if (!known) continue;
    m_Low = std::min(m_Low, range[0]);
    m_High = std::max(m_High, range[1]);
  }
  if (m_Low > m_High) m_Low = m_High = 0;
}

QImage CCadOrthoSource::ReadTile(int level, const QRect& rect) {
  const size_t count = static_cast<size_t>(rect.width()) * rect.height();
  std::vector<std::vector<float>> planes(m_ColourBands.size(), std::vector<float>(count));
  for (size_t b = 0; b < m_ColourBands.size(); ++b)
    if (!ReadLevel(m_ColourBands[b], level, rect, planes[b].data())) return QImage();
  std::vector<float> alpha(m_AlphaBand ? count : 0);
  if (m_AlphaBand && !ReadLevel(m_AlphaBand, level, rect, alpha.data())) return QImage();

  QImage tile(rect.size(), QImage::Format_ARGB32_Premultiplied);
  const GDALColorTable* palette =
      IsPalette(m_ColourBands[0]) ? m_ColourBands[0]->GetColorTable() : nullptr;
  const double scale = m_High > m_Low ? 255.0 / (m_High - m_Low) : 0.0;
  for (int y = 0; y < rect.height(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(tile.scanLine(y));
    for (int x = 0; x < rect.width(); ++x) {
      const size_t i = static_cast<size_t>(y) * rect.width() + x;
      QRgb colour = qRgba(0, 0, 0, 0);
      if (palette) {
        const int index = static_cast<int>(planes[0][i]);
        const GDALColorEntry* entry = index >= 0 && index < palette->GetColorEntryCount()
                                          ? palette->GetColorEntry(index)
                                          : nullptr;
        if (entry) colour = qRgba(entry->c1, entry->c2, entry->c3, entry->c4);
      } else {
        const uchar red = Stretch(planes[0][i], m_Low, scale);
        const uchar green = planes.size() == 3 ? Stretch(planes[1][i], m_Low, scale) : red;
        const uchar blue = planes.size() == 3 ? Stretch(planes[2][i], m_Low, scale) : red;
        colour = qRgb(red, green, blue);
      }
      if (m_AlphaBand)
        colour = qRgba(qRed(colour), qGreen(colour), qBlue(colour),
                       static_cast<int>(std::clamp(alpha[i], 0.0f, 255.0f)));
      row[x] = qPremultiply(colour);
    }
  }
  return tile;
}

void CadOrthoData::AddNote(const std::string& note) {
  m_Note += (m_Note.empty() ? "" : "; ") + note;
}

int CadOrthoData::BuildOverviews(GdalDatasetPtr& dataset, CProgressSink* progress) {
  const std::vector<int> factors =
      OverviewFactors(dataset->GetRasterXSize(), dataset->GetRasterYSize());
  if (factors.empty() || dataset->GetRasterBand(1)->GetOverviewCount() > 0) return 1;
  const std::filesystem::path overviews = m_Path.string() + ".ovr";
  const bool existed = std::filesystem::exists(overviews);
  // Opened read-only, the dataset writes its overviews to an external ".ovr" file.
  if (progress) progress->SetRange(0, 100);
  CPLSetThreadLocalConfigOption("COMPRESS_OVERVIEW", "DEFLATE");
  CPLPushErrorHandler(CPLQuietErrorHandler);
  const bool built =
      dataset->BuildOverviews("NEAREST", static_cast<int>(factors.size()), factors.data(), 0,
                              nullptr, ForwardProgress, progress) == CE_None;
  CPLPopErrorHandler();
  CPLSetThreadLocalConfigOption("COMPRESS_OVERVIEW", nullptr);
  dataset.reset();
  if (!built) {
    // A half-written overview file would be taken for good overviews next time.
    std::error_code ignored;
    if (!existed) std::filesystem::remove(overviews, ignored);
    AddNote("no overviews: " + overviews.string() + " could not be written");
  }
  dataset = OpenRasterReadOnly(m_Path);
  return dataset != nullptr;
}

int CadOrthoData::Open(const std::filesystem::path& path, std::string& error,
                       CProgressSink* progress) {
  m_Path = std::filesystem::absolute(path);
  m_Note.clear();
  GdalDatasetPtr dataset = OpenRasterReadOnly(m_Path);
  if (!dataset || dataset->GetRasterCount() < 1 || dataset->GetRasterXSize() <= 0 ||
      dataset->GetRasterYSize() <= 0) {
    error = m_Path.string() + ": GDAL cannot open it as a raster image";
    return 0;
  }
  if (!GetRasterPlacement(m_Path, *dataset, m_Placement, error)) return 0;
  if (m_Placement.IsRotated()) AddNote("the rotation terms of its georeference are not applied");
  if (!BuildOverviews(dataset, progress)) {
    error = m_Path.string() + ": GDAL cannot open it again after building its overviews";
    return 0;
  }
  m_OverviewCount = dataset->GetRasterBand(1)->GetOverviewCount();
  m_Source = std::make_shared<CCadOrthoSource>(std::move(dataset));
  // A picture whose pixels cannot be read is no orthophoto: try its first tile.
  if (m_Source->Region(QRect(0, 0, CCadRasterSource::kTileSize, CCadRasterSource::kTileSize), 1)
          .isNull()) {
    error = m_Path.string() + ": GDAL cannot read its pixels";
    m_Source.reset();
    return 0;
  }
  return 1;
}

unsigned CadOrthoData::Place(CCadDrawing& drawing) const {
  return PlaceRasterImage(drawing, m_Path, m_Source, m_Placement, kOrthophotoUserData);
}
