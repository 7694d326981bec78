#include "ImageSources.h"

#include <gdal_priv.h>
#include <libraw/libraw.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "DataFolder.h"

namespace {

const char* const kCameraRawExtensions[] = {".cr2", ".cr3", ".crw", ".nef", ".nrw", ".arw", ".srf",
                                            ".sr2", ".dng", ".kdc", ".dcr", ".k25", ".raf", ".orf",
                                            ".rw2", ".rwl", ".pef", ".srw", ".3fr", ".fff", ".iiq",
                                            ".mos", ".mef", ".mrw", ".erf", ".x3f", ".raw"};

// Pixels beyond this are refused before anything is allocated for them.
constexpr double kMaxPixels = 400e6;

struct GdalDatasetCloser {
  void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};

bool IsNoData(GDALRasterBand* band, double value) {
  int hasNoData = 0;
  const double noData = band->GetNoDataValue(&hasNoData);
  return std::isnan(value) || (hasNoData && value == noData);
}

// The values of one band as floating point, row by row.
bool ReadBand(GDALRasterBand* band, int width, int height, std::vector<float>& values) {
  values.resize(static_cast<size_t>(width) * height);
  return band->RasterIO(GF_Read, 0, 0, width, height, values.data(), width, height, GDT_Float32, 0,
                        0) == CE_None;
}

// The bands of the picture: red, green and blue, or one grey band.
std::vector<GDALRasterBand*> ChooseBands(GDALDataset& dataset) {
  const int count = dataset.GetRasterCount();
  std::vector<GDALRasterBand*> bands;
  if (count >= 3) {
    GDALRasterBand* byColour[3] = {};
    const GDALColorInterp wanted[3] = {GCI_RedBand, GCI_GreenBand, GCI_BlueBand};
    for (int i = 1; i <= count; ++i)
      for (int c = 0; c < 3; ++c)
        if (dataset.GetRasterBand(i)->GetColorInterpretation() == wanted[c] && !byColour[c])
          byColour[c] = dataset.GetRasterBand(i);
    for (int c = 0; c < 3; ++c)
      bands.push_back(byColour[c] ? byColour[c] : dataset.GetRasterBand(c + 1));
  } else if (count >= 1) {
    bands.push_back(dataset.GetRasterBand(1));
  }
  return bands;
}

// Grey or colour channels as 8-bit: bytes are kept, other values stretched over their range.
cv::Mat ToEightBit(const std::vector<std::vector<float>>& channels,
                   const std::vector<GDALRasterBand*>& bands, int width, int height) {
  const bool bytes = std::all_of(bands.begin(), bands.end(), [](GDALRasterBand* band) {
    return band->GetRasterDataType() == GDT_Byte;
  });
  double low = 0, high = 255;
  if (!bytes) {
    low = std::numeric_limits<double>::max();
    high = std::numeric_limits<double>::lowest();
    for (size_t b = 0; b < channels.size(); ++b)
      for (float value : channels[b])
        if (!IsNoData(bands[b], value) && std::isfinite(value)) {
          low = std::min<double>(low, value);
          high = std::max<double>(high, value);
        }
    if (low > high) low = high = 0;
  }
  const double scale = high > low ? 255.0 / (high - low) : 0.0;
  std::vector<cv::Mat> planes;
  for (size_t b = 0; b < channels.size(); ++b) {
    cv::Mat plane(height, width, CV_8UC1);
    for (int y = 0; y < height; ++y) {
      uchar* row = plane.ptr<uchar>(y);
      for (int x = 0; x < width; ++x) {
        const float value = channels[b][static_cast<size_t>(y) * width + x];
        const double scaled = IsNoData(bands[b], value) ? 0.0 : (value - low) * scale;
        row[x] = cv::saturate_cast<uchar>(scaled);
      }
    }
    planes.push_back(plane);
  }
  cv::Mat picture;
  if (planes.size() == 3) {
    cv::merge(std::vector<cv::Mat>{planes[2], planes[1], planes[0]}, picture);
  } else {
    cv::cvtColor(planes[0], picture, cv::COLOR_GRAY2BGR);
  }
  return picture;
}

// A palette band through its colour table.
cv::Mat ExpandPalette(const std::vector<float>& indices, const GDALColorTable& table, int width,
                      int height) {
  cv::Mat picture(height, width, CV_8UC3, cv::Scalar::all(0));
  for (int y = 0; y < height; ++y) {
    cv::Vec3b* row = picture.ptr<cv::Vec3b>(y);
    for (int x = 0; x < width; ++x) {
      const float index = indices[static_cast<size_t>(y) * width + x];
      if (!(index >= 0 && index < table.GetColorEntryCount())) continue;
      const GDALColorEntry* entry = table.GetColorEntry(static_cast<int>(index));
      row[x] = cv::Vec3b(cv::saturate_cast<uchar>(entry->c3), cv::saturate_cast<uchar>(entry->c2),
                         cv::saturate_cast<uchar>(entry->c1));
    }
  }
  return picture;
}

}  // namespace

bool IsCameraRawExtension(const std::string& lowerExtension) {
  return std::any_of(std::begin(kCameraRawExtensions), std::end(kCameraRawExtensions),
                     [&](const char* raw) { return lowerExtension == raw; });
}

ImageSourceKind GetImageSourceKind(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension == ".jpg" || extension == ".jpeg") return ImageSourceKind::Jpeg;
  if (extension == ".tif" || extension == ".tiff" || extension == ".jp2")
    return ImageSourceKind::Raster;
  if (extension == ".png" || extension == ".bmp") return ImageSourceKind::Picture;
  if (extension == ".xml") return ImageSourceKind::Orientation;
  if (IsCameraRawExtension(extension)) return ImageSourceKind::CameraRaw;
  return ImageSourceKind::Unsupported;
}

cv::Mat ReadPicture(const std::string& path, std::string& error) {
  // A picture that cannot be read is the caller's to report, with the file it came from.
  static std::once_flag quiet;
  std::call_once(quiet,
                 [] { cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR); });
  cv::Mat picture;
  try {
    picture = cv::imread(path, cv::IMREAD_COLOR);
  } catch (const cv::Exception& e) {
    error = e.what();
    return cv::Mat();
  }
  if (picture.empty()) error = "the picture cannot be decoded";
  return picture;
}

cv::Mat ReadRasterImage(const std::string& path, std::string& error) {
  static std::once_flag registered;
  std::call_once(registered, [] { GDALAllRegister(); });
  CPLPushErrorHandler(CPLQuietErrorHandler);
  std::unique_ptr<GDALDataset, GdalDatasetCloser> dataset(
      GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  CPLPopErrorHandler();
  if (!dataset) {
    error = "GDAL cannot open it as a raster";
    return cv::Mat();
  }
  const int width = dataset->GetRasterXSize(), height = dataset->GetRasterYSize();
  const std::vector<GDALRasterBand*> bands = ChooseBands(*dataset);
  if (bands.empty() || width <= 0 || height <= 0 ||
      static_cast<double>(width) * height > kMaxPixels) {
    error = "the raster has no bands or an unusable size";
    return cv::Mat();
  }
  std::vector<std::vector<float>> channels(bands.size());
  for (size_t b = 0; b < bands.size(); ++b)
    if (!ReadBand(bands[b], width, height, channels[b])) {
      error = "GDAL cannot read the raster's values";
      return cv::Mat();
    }
  const GDALColorTable* table = bands.size() == 1 ? bands[0]->GetColorTable() : nullptr;
  if (table && bands[0]->GetColorInterpretation() == GCI_PaletteIndex)
    return ExpandPalette(channels[0], *table, width, height);
  return ToEightBit(channels, bands, width, height);
}

cv::Mat ReadCameraRawImage(const std::string& path, std::string& error) {
  auto raw = std::make_unique<LibRaw>();
  raw->imgdata.params.use_camera_wb = 1;
  raw->imgdata.params.output_bps = 8;
  int code = raw->open_file(path.c_str());
  if (code == LIBRAW_SUCCESS) code = raw->unpack();
  if (code == LIBRAW_SUCCESS) code = raw->dcraw_process();
  libraw_processed_image_t* developed =
      code == LIBRAW_SUCCESS ? raw->dcraw_make_mem_image(&code) : nullptr;
  if (!developed || code != LIBRAW_SUCCESS || developed->type != LIBRAW_IMAGE_BITMAP ||
      developed->bits != 8 || (developed->colors != 3 && developed->colors != 1)) {
    error = code != LIBRAW_SUCCESS ? libraw_strerror(code) : "LibRaw gave no 8-bit picture";
    if (developed) LibRaw::dcraw_clear_mem(developed);
    return cv::Mat();
  }
  const cv::Mat wrapped(developed->height, developed->width,
                        developed->colors == 3 ? CV_8UC3 : CV_8UC1, developed->data);
  cv::Mat picture;
  cv::cvtColor(wrapped, picture, developed->colors == 3 ? cv::COLOR_RGB2BGR : cv::COLOR_GRAY2BGR);
  LibRaw::dcraw_clear_mem(developed);
  return picture;
}
